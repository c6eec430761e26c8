// Input at the limits of what a machine can hand the tool: the longest
// command line Windows passes, property values around the 100-byte buffer,
// sets of ten thousand devices and an INF folder of thousands of OEM copies.
#include "machine_fixture.h"

using namespace pos;

namespace {

constexpr char kPortCId[] = "MF\\PCI1D9E_COMF";

// --- The longest command line ------------------------------------------------------

// 32767 characters: the most Windows passes to a process, its terminator
// making 32 KiB.
constexpr std::size_t kLongCmdLength = 32 * 1024 - 1;

enum class Where { Start, Middle, End };

struct Placed {
    Where where;
    const char* text;
};

// The words placed in 32767 characters of filler that cannot spell a
// keyword: no upper-case letters but those of near misses, which stand
// between spaces so no placed word joins them.
std::string LongCommandLine(const std::vector<Placed>& words) {
    static const char* const kNearMisses[] = {" Install ", " INSTAL ", " UNINSTAL ", " SILEN ",
                                              " BASE-DEVICE ", " MAROVEL SERIAL ", " uninstall "};
    std::string text;
    // Every byte of the ANSI page in turn but NUL, controls and capitals.
    for (unsigned byte = 0x20, miss = 0; text.size() < kLongCmdLength; byte = byte == 0xFF ? 0x20 : byte + 1) {
        if (text.size() % 997 == 0) text += kNearMisses[miss++ % 7];
        if ((byte < 'A' || byte > 'Z') && byte != 0x7F) text += static_cast<char>(byte);
    }
    text.resize(kLongCmdLength);
    for (const Placed& word : words) {
        const std::string padded = word.where == Where::Start ? std::string(word.text) + " "
                                   : word.where == Where::End ? " " + std::string(word.text)
                                                              : " " + std::string(word.text) + " ";
        const std::size_t at = word.where == Where::Start ? 0
                               : word.where == Where::End ? text.size() - padded.size()
                                                          : text.size() / 2;
        text.replace(at, padded.size(), padded);
    }
    return text;
}

// How the run ends: nothing run; an install, with or without its two
// questions; an uninstall.
enum class Ends { NothingRun, InstallsWithoutAsking, InstallsAfterTwoQuestions, Uninstalls };

struct LongCmdCase {
    const char* name;
    std::vector<Placed> words;
    Ends ends;
    std::vector<std::string> updatedIds;  // driver updates, in order
};

const Lines kFullInstall = {kBaseId,           kCardId,           "MF\\PCI1D9E_COMF",
                            "MF\\PCI1D9E_COMC", "MF\\PCI1D9E_COME", "MF\\PCI1D9E_COMD"};
const Lines kFourPortNoBase(kFullInstall.begin() + 1, kFullInstall.end());
const Lines kOnePortNoBase(kFullInstall.begin() + 1, kFullInstall.begin() + 3);

class LongCommandLineTest : public MachineTest, public ::testing::WithParamInterface<LongCmdCase> {};

TEST_P(LongCommandLineTest, RunsTheOperationItsKeywordsAskFor) {
    const LongCmdCase& c = GetParam();
    PutTableInfs();
    AddPosDevices(true, "CDEF");
    machine().PutFile(std::string(kWin) + "\\RESULT.FAIL");  // left by an earlier run
    const std::string cmdLine = LongCommandLine(c.words);
    ASSERT_EQ(cmdLine.size(), kLongCmdLength);

    const RunOutcome outcome = Run(cmdLine);

    EXPECT_EQ(UpdatedIds(), c.updatedIds);
    EXPECT_EQ(machine().MessageBoxes().size(), c.ends == Ends::InstallsAfterTwoQuestions ? 2u : 0u);
    const bool none = c.ends == Ends::NothingRun, uninstall = c.ends == Ends::Uninstalls;
    EXPECT_EQ(outcome, none ? RunOutcome::NotRun : RunOutcome::Succeeded);
    EXPECT_EQ(Markers(), none ? Lines{} : Lines{"RESULT.SUCCESS"});
    EXPECT_EQ(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0") == nullptr, uninstall);
    EXPECT_EQ(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B54\\CARD0") == nullptr, uninstall);
    EXPECT_EQ(TraceHas("**** Removing installed drivers ****"), uninstall);
    EXPECT_EQ(Timeline().empty(), none);
    EXPECT_EQ(machine().Calls("SetupDiGetClassDevsA") == 0, none);
    EXPECT_EQ(!Timeline().empty() && Timeline().back() == "Uninstall Complete!", uninstall);
}

constexpr char kEveryChoice[] = "INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL";

INSTANTIATE_TEST_SUITE_P(ThirtyTwoKiB, LongCommandLineTest, ::testing::ValuesIn(std::vector<LongCmdCase>{
    {"AllAtTheStart", {{Where::Start, kEveryChoice}}, Ends::InstallsWithoutAsking, kFullInstall},
    {"AllInTheMiddle", {{Where::Middle, kEveryChoice}}, Ends::InstallsWithoutAsking, kFullInstall},
    {"AllAtTheVeryEnd", {{Where::End, kEveryChoice}}, Ends::InstallsWithoutAsking, kFullInstall},
    {"SpreadOverStartMiddleAndEnd", {{Where::Start, "INSTALL"}, {Where::Middle, "SILENT"},
     {Where::End, "MAROVEL_SERIAL"}}, Ends::InstallsWithoutAsking, kFourPortNoBase},
    {"ChoicesWithoutSilentStillAsk", {{Where::Start, "INSTALL"}, {Where::End, "BASE_DEVICE MAROVEL_SERIAL"}},
     Ends::InstallsAfterTwoQuestions, kOnePortNoBase},
    {"UninstallAtTheVeryEndWins", {{Where::Start, "INSTALL SILENT"}, {Where::End, "UNINSTALL"}}, Ends::Uninstalls, {}},
    {"UninstallInTheMiddle", {{Where::Middle, "UNINSTALL"}}, Ends::Uninstalls, {}},
    {"NoKeywordOnlyNearMisses", {}, Ends::NothingRun, {}},
    }),
    [](const ::testing::TestParamInfo<LongCmdCase>& info) { return std::string(info.param.name); });

// --- Property values around the 100-byte buffer -----------------------------------------

enum class Shape {
    PaddedSz,      // the key, padded with NULs
    LongerSz,      // the key followed by filler, one terminator: a value longer than the key
    ListEndingIn,  // a list whose last string is the key, after one long filler string
};

// Which device the run takes: the edge device while its value fits the
// 100-byte buffer (at 99 and 100 bytes, not at 101), or never (the ordinary one).
enum class Taken { WhileItFits, Never };

struct EdgeValue {
    std::string name;
    DWORD property;  // SPDRP_DEVICEDESC: the removal search; SPDRP_HARDWAREID: port mapping
    Shape shape;
    Taken taken;
    std::size_t bytes = 0;  // as the platform stores them, terminators included
};

sim::Value Build(const EdgeValue& edge) {
    const std::string key = edge.property == SPDRP_DEVICEDESC ? kBaseDesc : kPortCId;
    switch (edge.shape) {
    case Shape::PaddedSz: return {REG_SZ, key + std::string(edge.bytes - key.size(), '\0')};
    case Shape::LongerSz: return {REG_SZ, key + std::string(edge.bytes - 1 - key.size(), 'x') + '\0'};
    case Shape::ListEndingIn: return sim::MultiSz({std::string(edge.bytes - key.size() - 3, 'y'), key});
    }
    return {};
}

// Each value at 99, 100 and 101 bytes.
std::vector<EdgeValue> AtEachSize(std::initializer_list<EdgeValue> values) {
    std::vector<EdgeValue> sized;
    for (const EdgeValue& value : values) {
        for (std::size_t bytes : {99, 100, 101}) {
            sized.push_back(value);
            sized.back().bytes = bytes;
            sized.back().name += std::to_string(bytes);
        }
    }
    return sized;
}

void PrintTo(const EdgeValue& edge, std::ostream* os) { *os << edge.name; }

class PropertyAtTheBufferEdge : public MachineTest, public ::testing::WithParamInterface<EdgeValue> {};

// The device with the edge value comes first in the set; the ordinary device
// that answers to the same key comes after it. Exactly one of them is taken.
TEST_P(PropertyAtTheBufferEdge, IsTakenOnlyWhenItFitsAndMatches) {
    const EdgeValue& edge = GetParam();
    const bool taken = edge.taken == Taken::WhileItFits && edge.bytes <= 100;
    const sim::Value value = Build(edge);
    ASSERT_EQ(value.bytes.size(), edge.bytes);
    const std::string edgeId = "ROOT\\EDGE\\0000";

    if (edge.property == SPDRP_DEVICEDESC) {
        sim::Device device = BaseDevice(edgeId);
        device.properties[SPDRP_DEVICEDESC] = value;
        machine().AddDevice(device);
        machine().AddDevice(BaseDevice());

        EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

        EXPECT_EQ(machine().FindDevice(edgeId) == nullptr, taken);
        EXPECT_EQ(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0") == nullptr, !taken);
        EXPECT_TRUE(TraceHas("----> FindDevice match(REG_SZ)!") ||
                    TraceHas("----> FindDevice match(REG_MULTI_SZ)!"));
    } else {
        sim::Device device = Port('C');
        device.instanceId = edgeId;
        device.properties[SPDRP_HARDWAREID] = value;
        machine().AddDevice(device);
        machine().AddDevice(Port('C'));

        EXPECT_TRUE(MapComPorts());

        EXPECT_EQ(machine().GetValue(ParamsKey(edgeId), "PortName").has_value(), taken);
        EXPECT_EQ(machine().GetValue(ParamsKey(kPorts[0].instanceId), "PortName").has_value(), !taken);
        EXPECT_EQ(Timeline(), (Lines{"Mapping Serial Port C to COM3...",
                                     "Mapping Serial Port C to COM3...[OK]", "sleep 2000"}));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PropertyAtTheBufferEdge, ::testing::ValuesIn(AtEachSize({
    // Removal: a description equal to the row's; one that starts with it
    // but goes on is never it; a list of descriptions whose last one is it.
    {"Description", SPDRP_DEVICEDESC, Shape::PaddedSz, Taken::WhileItFits},
    {"LongerDescription", SPDRP_DEVICEDESC, Shape::LongerSz, Taken::Never},
    {"DescriptionList", SPDRP_DEVICEDESC, Shape::ListEndingIn, Taken::WhileItFits},
    // Port mapping: a hardware ID list whose last ID is the port's; a
    // single-string ID; an ID longer than the port's key is not a piece of it.
    {"HardwareIdList", SPDRP_HARDWAREID, Shape::ListEndingIn, Taken::WhileItFits},
    {"HardwareId", SPDRP_HARDWAREID, Shape::PaddedSz, Taken::WhileItFits},
    {"LongerHardwareId", SPDRP_HARDWAREID, Shape::LongerSz, Taken::Never},
    })),
    [](const ::testing::TestParamInfo<EdgeValue>& info) { return info.param.name; });

// --- Ten thousand devices ---------------------------------------------------------------------

// What bounds the program's own work here is what it asks of the system: how
// many calls each walk makes, counted by the simulated machine. (A wall-clock
// budget would time the simulated machine, and a busy one.)
constexpr int kManyDevices = 10000;

std::string Numbered(const char* prefix, int n) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%05d", prefix, n);
    return text;
}

using ManyDevicesTest = MachineTest;

TEST_F(ManyDevicesTest, RemovalFindsTheBaseDeviceAfterNineThousandNineHundredAndNinetyNineOthers) {
    // Near misses of every kind before it: longer, shorter, other devices.
    for (int i = 0; i < kManyDevices - 1; ++i) {
        sim::Device other;
        other.instanceId = Numbered("ROOT\\OTHER\\", i);
        switch (i % 4) {
        case 0: other.properties[SPDRP_DEVICEDESC] = sim::Sz(std::string(kBaseDesc) + " " + std::to_string(i)); break;
        case 1: other.properties[SPDRP_DEVICEDESC] = sim::Sz("ZAN 7350-21x Base"); break;
        case 2: other.properties[SPDRP_DEVICEDESC] = sim::MultiSz({"Serial Port C", "ZAN"}); break;
        default: break;  // no description at all
        }
        machine().AddDevice(other);
    }
    machine().AddDevice(BaseDevice());
    PutTableInfs();

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

    EXPECT_FALSE(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0"));
    EXPECT_EQ(machine().Devices().size(), static_cast<std::size_t>(kManyDevices - 1));
    EXPECT_FALSE(machine().FileExists(kInf + "ZANBaseD.inf"));
    // One walk per removal row, never more than one fetch per element and end.
    EXPECT_LE(machine().Calls("SetupDiEnumDeviceInfo"), 3 * (kManyDevices + 1));
}

TEST_F(ManyDevicesTest, PortMappingFindsSerialPortCAfterNineThousandNineHundredAndNinetyNineOtherPorts) {
    for (int i = 0; i < kManyDevices - 1; ++i) {
        sim::Device other = Port('C');
        other.instanceId = Numbered("ACPI\\PNP0501\\", i);
        // IDs that hold the port's ID or share its beginning, but are not pieces of it.
        other.properties[SPDRP_HARDWAREID] =
            sim::MultiSz({Numbered("ACPI\\PNP0501&", i), std::string(kPortCId) + "&REV_" + std::to_string(i)});
        machine().AddDevice(other);
    }
    machine().AddDevice(Port('C'));

    EXPECT_TRUE(AssignComPort(kPortCId, "COM3", "Serial Port C"));

    ASSERT_TRUE(machine().GetValue(ParamsKey(kPorts[0].instanceId), "PortName"));
    EXPECT_EQ(sim::SzText(*machine().GetValue(ParamsKey(kPorts[0].instanceId), "PortName")), "COM3");
    EXPECT_FALSE(machine().GetValue(ParamsKey(Numbered("ACPI\\PNP0501\\", kManyDevices - 2)), "PortName"));
    // The walk stops at the device found: one fetch and one read per element.
    EXPECT_EQ(machine().Calls("SetupDiEnumDeviceInfo"), kManyDevices);
    EXPECT_EQ(machine().Calls("SetupDiGetDeviceRegistryPropertyA"), kManyDevices);
}

// --- Five thousand OEM INF copies ------------------------------------------------------------

constexpr int kOemCopies = 5000;

class ManyOemInfsTest : public MachineTest {
protected:
    // Written straight into the host folder, and every text after its first
    // file as a hard link to that file: thousands of names cost no more than a
    // handful of files to lay out, and each is a file of its own to the tool.
    void PutHostFile(const std::string& name, const std::string& bytes) {
        const std::filesystem::path path = machine().HostPath(kInf) / name;
        const auto first = firstWithText_.find(bytes);
        if (first != firstWithText_.end()) {
            std::filesystem::create_hard_link(first->second, path);
            return;
        }
        std::ofstream(path, std::ios::binary) << bytes;
        firstWithText_.emplace(bytes, path);
    }

private:
    std::map<std::string, std::filesystem::path> firstWithText_;
};

TEST_F(ManyOemInfsTest, OnlyTheCopiesNamingARemovedDeviceGoWithTheirPnfs) {
    PutTableInfs();
    AddPosDevices(true, "");
    const std::string models = "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Models]\r\n";
    // Copies that belong to the removed devices: the first the search returns,
    // three in the middle, the last; on a final line without a newline, cut by
    // the first 4096-byte read one byte before its end, after a line far
    // longer than a read.
    const std::map<int, std::string> owned = {
        {0, models + "%Base%=Inst, " + kBaseId + "\r\n"},
        {1234, models + "%Card%=Inst, " + kCardId + "\r\n"},
        {2500, models + std::string(200, ';') + "\r\n" + "%Base%=Inst," + kBaseId},
        {3000, models + std::string(4096 - models.size() - (sizeof kBaseId - 2), ';') + kBaseId + "\r\n"},
        {4999, models + std::string(64 * 1024, 'c') + "\n%Card%=Inst, " + kCardId + "\n"},
    };
    const std::vector<std::string> others = {
        models + "%Dev%=Inst, PCI\\VEN_1D9E&DEV_0B52\r\n",                  // the ID's first two components
        models + "PCI\\VEN_1D9E&DEV_0B54\n&SUBSYS_0B551D9E&REV_10\n",         // split over two lines
        models + "%Dev%=Inst, pci\\ven_1d9e&dev_0b52&subsys_0b531d9e\r\n",  // another case
        models + "%Dev%=Inst, PCI\\VEN_8086&DEV_1234\r\n",
        "",
    };
    for (int i = 0; i < kOemCopies; ++i) {
        const std::string name = "oem" + std::to_string(i);
        const auto own = owned.find(i);
        PutHostFile(name + ".inf", own != owned.end() ? own->second : others[i % others.size()]);
        PutHostFile(name + ".PNF", "pnf");
    }
    ASSERT_EQ(machine().ListFolder(kInf).size(), 2u * kOemCopies + 5);

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

    std::set<std::string> left;
    for (const std::string& name : machine().ListFolder(kInf)) left.insert(name);
    for (int i = 0; i < kOemCopies; ++i) {
        const std::string name = "oem" + std::to_string(i);
        const std::size_t expected = owned.count(i) != 0 ? 0u : 1u;
        EXPECT_EQ(left.count(name + ".inf"), expected) << name;
        EXPECT_EQ(left.count(name + ".PNF"), expected) << name;
    }
    const auto trace = Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), std::string("----> Deleting INF File")), 5);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), std::string("----> Failed")), 0);
    const sim::HandleCounts open = machine().OpenHandles();
    EXPECT_EQ(open.files, 0);
    EXPECT_EQ(open.searches, 0);
    // Two scans, the base device's and the card's (without the three copies
    // the first deleted): each copy opened once, read at most to its end,
    // listed once; and the marker.
    const int scanned = kOemCopies + (kOemCopies - 3);
    EXPECT_EQ(machine().Calls("CreateFileA"), scanned + 1);
    EXPECT_EQ(machine().Calls("FindNextFileA"), scanned);
    std::size_t reads = 0;  // a read per 4096 bytes and the one that finds the end, for each scan
    for (int i = 0; i < kOemCopies; ++i) {
        const auto own = owned.find(i);
        const std::size_t size = (own != owned.end() ? own->second : others[i % others.size()]).size();
        reads += (size / 4096 + 2) * (own != owned.end() && own->second.find(kBaseId) != std::string::npos ? 1 : 2);
    }
    EXPECT_LE(machine().Calls("ReadFile"), static_cast<int>(reads));
}

// A copy whose full path would be longer than MAX_PATH allows is passed
// over: cut short, the path would name another file, here one that holds the
// key too.
TEST_F(MachineTest, AnOemCopyWhosePathWouldBeCutIsPassedOver) {
    const std::string name = "oem" + std::string(238, '9') + ".inf";  // 260 characters below C:\WINDOWS\inf
    machine().PutFile(kInf + name, kBaseId);
    machine().PutFile(kInf + name.substr(0, name.size() - 1), kBaseId);

    RemoveOemInfFiles(kBaseId);

    EXPECT_EQ(machine().ListFolder(kInf).size(), 2u);
    EXPECT_TRUE(TraceHas(name));
    EXPECT_FALSE(TraceHas("--> Opening OEM* File"));
}

}  // namespace
