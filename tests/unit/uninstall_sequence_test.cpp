// The uninstall operation: devices found by description and removed, their
// OEM INF copies and the table's own INF files deleted.
#include "machine_fixture.h"

using namespace pos;

namespace {

std::string Utf16(const std::string& ascii) {
    std::string wide = "\xFF\xFE";
    for (char c : ascii) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

class UninstallTest : public MachineTest {
protected:
    // OEM copies: two that name a removed device's ID on a line of their own
    // (one without its PNF), and three that must survive.
    void PutOemInfs() {
        machine().PutFile(kInf + "oem1.inf", std::string("[Models]\r\n%Dev%=Inst, ") + kBaseId + "\r\n");
        machine().PutFile(kInf + "oem1.PNF", "pnf");
        machine().PutFile(kInf + "oem2.inf", "[Models]\n%Dev%=Inst, PCI\\VEN_1D9E&DEV_0B52\n");
        machine().PutFile(kInf + "oem2.pnf", "pnf");
        machine().PutFile(kInf + "oem3.inf", "PCI\\VEN_1D9E&DEV_0B52\n&SUBSYS_0B531D9E\n");
        machine().PutFile(kInf + "oem3.pnf", "pnf");
        machine().PutFile(kInf + "oem4.inf", Utf16(std::string("[Models]\r\n") + kBaseId + "\r\n"));
        machine().PutFile(kInf + "oem4.pnf", "pnf");
        machine().PutFile(kInf + "OEM5.INF", std::string("x\n") + kCardId);
    }
};

}  // namespace

TEST_F(UninstallTest, AMachineWithoutTheDevicesEndsCompleteAndDeletesNothing) {
    PutTableInfs();
    PutOemInfs();
    machine().AddDevice(Port('C'));
    const auto before = machine().ListFolder(kInf);

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

    EXPECT_EQ(Timeline(), UninstallLines(""));
    EXPECT_EQ(machine().ListFolder(kInf), before);
    EXPECT_TRUE(machine().FileExists(kInf + "1port\\ZAN2kmf.inf"));
    EXPECT_EQ(Trace().front(), "**** Removing installed drivers ****");
    EXPECT_EQ(Trace().back(), "----> No driver installation found");
    EXPECT_EQ(Markers(), Lines{"RESULT.SUCCESS"});
    EXPECT_STREQ(g_deviceTable[kRowOnePortCard].infName, ".\\1port\\ZAN2kmf.inf");
}

TEST_F(UninstallTest, AFullMachineLosesItsDevicesTheirOemCopiesAndTheTableInfs) {
    PutTableInfs();
    PutOemInfs();
    // Decoys first in set order: a longer description and a piece of it.
    sim::Device longer = BaseDevice("ROOT\\DECOY\\0000");
    longer.properties[SPDRP_DEVICEDESC] = sim::Sz(std::string(kBaseDesc) + " 2");
    sim::Device piece = BaseDevice("ROOT\\DECOY\\0001");
    piece.properties[SPDRP_DEVICEDESC] = sim::Sz("ZAN 7350-21x Base");
    machine().AddDevice(longer);
    machine().AddDevice(piece);
    AddPosDevices(true, "CDEF");
    sim::Device secondCard = Card("PCI\\VEN_1D9E&DEV_0B54\\CARD1");
    secondCard.present = false;  // a card once installed in another slot
    machine().AddDevice(secondCard);

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

    EXPECT_EQ(Timeline(), UninstallLines("BCC"));

    EXPECT_FALSE(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0"));
    EXPECT_FALSE(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B54\\CARD0"));
    EXPECT_FALSE(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B54\\CARD1"));
    EXPECT_TRUE(machine().FindDevice("ROOT\\DECOY\\0000"));
    EXPECT_TRUE(machine().FindDevice("ROOT\\DECOY\\0001"));
    EXPECT_TRUE(machine().FindDevice(kPorts[0].instanceId));

    EXPECT_EQ(machine().ListFolder(kInf),
              (Lines{"1port", "4port", "oem2.inf", "oem2.pnf", "oem3.inf", "oem3.pnf", "oem4.inf",
                     "oem4.pnf", "ZANPorts.inf"}));
    EXPECT_TRUE(machine().ListFolder(kInf + "1port").empty());
    EXPECT_TRUE(machine().ListFolder(kInf + "4port").empty());
    EXPECT_STREQ(g_deviceTable[kRowOnePortCard].infName, ".\\1port\\ZAN2kmf");
    EXPECT_STREQ(g_deviceTable[kRowFourPortCard].infName, ".\\4port\\ZAN2kmf");
    EXPECT_FALSE(TraceHas("----> No driver installation found"));
    EXPECT_EQ(Markers(), Lines{"RESULT.SUCCESS"});

    // The base device's removal, step by step.
    const auto trace = Trace();
    const Lines removal{"--> Device Enumeration(FindDevice)", "----> FindDevice match(REG_SZ)!",
                        "----> Driver installation found", "----> Removing Device",
                        "--> REMOVING DEVICE....",
                        "----> Removing all OEM*.inf/pnf files associated with the specified search key"};
    EXPECT_NE(std::search(trace.begin(), trace.end(), removal.begin(), removal.end()), trace.end());
}

// A device list that cannot be had hides the devices: the uninstall stops
// at its first row as after a removal that fails, and says so.
TEST_F(UninstallTest, AnUnobtainableDeviceSetFailsTheUninstallAtItsFirstRow) {
    PutTableInfs();
    AddPosDevices(true, "");
    machine().FailNext("SetupDiGetClassDevsA", ERROR_INVALID_PARAMETER);

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Failed);

    EXPECT_EQ(Timeline(), (Lines{"Removing previously installed drivers and devices...", "sleep 1000",
                                 std::string("Removing ") + kBaseDesc + "...",
                                 std::string("Removing ") + kBaseDesc + "...[Failed]", "sleep 1000"}));
    EXPECT_TRUE(TraceHas("----> Abnormal Exit : GetLastError() = 00000006h\n"));
    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox("An error was encountered while uninstalling the drivers.")});
    EXPECT_EQ(Markers(), Lines{"RESULT.FAIL"});
    EXPECT_TRUE(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0"));
    EXPECT_TRUE(machine().FileExists(kInf + "ZANBaseD.inf"));
}

TEST_F(UninstallTest, OemCleanupWithoutOemFilesTracesThatItFoundNone) {
    RemoveOemInfFiles(kBaseId);
    EXPECT_EQ(Trace(), (Lines{"----> Removing all OEM*.inf/pnf files associated with the specified search key",
                              "----> Retreiving the windows path", "C:\\WINDOWS", "----> No files found"}));
}

// --- Driver packages in the store ----------------------------------------------------

const char kUninstalled[] = "----> Driver Package Uninstalled";
const char kInUse[] = "----> Driver Package Uninstall failed : GetLastError() = e000023dh";
const char kNoEntryPoint[] = "----> Driver Package Uninstall failed : GetLastError() = 0000007fh";

struct PackageCase {
    const char* name;
    const char* failing;  // an operation that fails for good, or nullptr
    DWORD error;
    Lines results;        // the package removals' results: oem1, oem4 (base device), oem3 (card)
    Lines packagesLeft;
    int failedDeletions;  // "----> Failed" lines
};

void PrintTo(const PackageCase& c, std::ostream* os) { *os << c.name; }

class DriverPackageTest : public UninstallTest, public ::testing::WithParamInterface<PackageCase> {};

// The base device's driver came from oem1 and the card's from oem3; oem4, an
// older driver of the base device, is still used by a device that stays; oem2
// is another vendor's. Whatever the store does, the same files are left.
TEST_P(DriverPackageTest, RemovedDevicesPackagesLeaveTheStoreAndTheSameFilesGo) {
    const PackageCase& c = GetParam();
    PutTableInfs();
    machine().PublishDriverPackage("oem1.inf", std::string("[Models]\r\n%Dev%=Inst, ") + kBaseId + "\r\n");
    machine().PublishDriverPackage("oem2.inf", "[Models]\r\n%Dev%=Inst, PCI\\VEN_8086&DEV_1234\r\n");
    machine().PublishDriverPackage("oem3.inf", std::string("[Models]\n%Card%=Inst, ") + kCardId + "\n");
    machine().PublishDriverPackage("oem4.inf", std::string("; older driver\n%Base%=Inst,") + kBaseId);
    sim::Device base = BaseDevice();
    base.driverPackage = "oem1.inf";
    sim::Device card = Card();
    card.driverPackage = "OEM3.INF";
    sim::Device stays = BaseDevice("ROOT\\DECOY\\0000");
    stays.properties[SPDRP_DEVICEDESC] = sim::Sz(std::string(kBaseDesc) + " 2");
    stays.present = false;
    stays.driverPackage = "oem4.inf";
    for (const sim::Device& device : {base, card, stays}) machine().AddDevice(device);
    if (c.failing != nullptr) machine().FailAlways(c.failing, c.error);

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

    EXPECT_EQ(machine().DriverPackages(), c.packagesLeft);
    Lines oemFiles;
    for (const std::string& name : machine().ListFolder(kInf)) {
        if (name.rfind("oem", 0) == 0) oemFiles.push_back(name);
    }
    EXPECT_EQ(oemFiles, (Lines{"oem2.inf", "oem2.PNF"}));
    const auto trace = Trace();
    Lines results;
    for (auto line = trace.begin(); line != trace.end(); ++line) {
        if (*line == "----> Uninstalling Driver Package" && line + 1 != trace.end()) results.push_back(line[1]);
    }
    EXPECT_EQ(results, c.results);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), std::string("----> Failed")), c.failedDeletions);
    EXPECT_EQ(Markers(), Lines{"RESULT.SUCCESS"});
}

INSTANTIATE_TEST_SUITE_P(Store, DriverPackageTest, ::testing::Values(
    PackageCase{"RemovesWhatNoDeviceUses", nullptr, 0, {kUninstalled, kInUse, kUninstalled},
                {"oem2.inf", "oem4.inf"}, 0},
    // An older system without the call: the copies go as they always did.
    PackageCase{"WithoutTheCall", "SetupUninstallOEMInfA", ERROR_PROC_NOT_FOUND,
                {kNoEntryPoint, kNoEntryPoint, kNoEntryPoint}, {"oem1.inf", "oem2.inf", "oem3.inf", "oem4.inf"},
                0},
    // Without knowing the PNF was there, its absence after the removal
    // counts as a failed deletion, as it would have before.
    PackageCase{"PnfNotLookedAt", "GetFileAttributesA", ERROR_ACCESS_DENIED,
                {kUninstalled, kInUse, kUninstalled}, {"oem2.inf", "oem4.inf"}, 2}),
    [](const ::testing::TestParamInfo<PackageCase>& info) { return std::string(info.param.name); });

TEST(InfBaseName, IsTheFirstDotSeparatedPieceAndCutsTheNameInPlace) {
    char base[40] = "ZANBaseD.inf";
    EXPECT_EQ(CutInfBaseName(base), "ZANBaseD");
    EXPECT_STREQ(base, "ZANBaseD");
    char sub[40] = ".\\1port\\ZAN2kmf.inf";
    EXPECT_EQ(CutInfBaseName(sub), "\\1port\\ZAN2kmf");
    EXPECT_STREQ(sub, ".\\1port\\ZAN2kmf");
    char two[40] = "ZAN.Ports.inf";
    EXPECT_EQ(CutInfBaseName(two), "ZAN");
    char bare[40] = "NODOTS";
    EXPECT_EQ(CutInfBaseName(bare), "NODOTS");
    char dots[40] = "...";
    EXPECT_EQ(CutInfBaseName(dots), "");
}

TEST(InfLineScan, FindsTheKeyOnlyWithinOneLineWhateverTheChunking) {
    const std::string key = "PCI\\VEN_1D9E&DEV_0B52";
    const std::string text = std::string(5000, 'x') + "PCI\\VEN_1D9E&DEV" + "_0B52 tail\nnext";
    for (std::size_t chunk : {1u, 3u, 7u, 4096u}) {
        InfLineScanner scanner(key);
        bool found = false;
        for (std::size_t at = 0; at < text.size() && !found; at += chunk) {
            found = scanner.Feed(text.data() + at, std::min(chunk, text.size() - at));
        }
        EXPECT_TRUE(found) << chunk;
    }
    InfLineScanner split(key);
    EXPECT_FALSE(split.Feed("PCI\\VEN_1D9E\n&DEV_0B52\n", 23));
    InfLineScanner nul(key);
    EXPECT_TRUE(nul.Feed("a\0b PCI\\VEN_1D9E&DEV_0B52", 25));
    InfLineScanner empty("");
    EXPECT_FALSE(empty.Feed("anything\n", 9));
}
