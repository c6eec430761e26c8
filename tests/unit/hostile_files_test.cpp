// Files that fight back: OEM INF copies that cannot be opened, read or
// deleted. Markers that cannot be deleted or created are rows of the
// catalogue of scenarios; a log removed as it is made is in run_log_test.cpp.
#include "machine_fixture.h"

using namespace pos;

namespace {

// --- OEM INF copies ------------------------------------------------------------------------

enum class Obstacle {
    None,
    Unreadable,       // opening it for reading fails
    InfUndeletable,   // the INF cannot be deleted
    PnfUndeletable,   // its PNF cannot be deleted
    BothUndeletable,
    InUse,            // another program holds it open for reading, without delete sharing
    Folder,           // a folder that carries an OEM INF name
    NoPnf,            // the INF has no PNF companion
};

// A copy that holds the key goes with its PNF, unless its row says otherwise.
struct OemCopy {
    const char* name;       // the INF's name; its PNF is the same with ".PNF"
    bool holdsKey = true;   // a line of it holds the base device's hardware ID
    Obstacle obstacle = Obstacle::None;
    Lines trace;            // what the cleanup traces for it, after its name, but for the package removal
    bool infStays = false;
    bool pnfStays = false;
    // Published as a driver package: the removal's last error (0 for success).
    DWORD packageError = ERROR_SUCCESS;
};

const Lines kRead{"--> Opening OEM* File", "----> Search Key Found!", "----> Deleting INF File"};
// A copy read, its key found, its INF's deletion tried, then these lines.
Lines Read(const Lines& then) { return Join({kRead, then}); }
const Lines kUnopened{"--> Opening OEM* File", "--> Error opening file"};  // nothing read
constexpr char kPnf[] = "----> Deleting PNF File";
constexpr char kFailed[] = "----> Failed";

// In the order the file search returns them. Every copy that holds the key
// but cannot be read stays whole; a failed deletion is traced and the
// cleanup goes on with the next copy.
const std::vector<OemCopy> kCopies = {
    {.name = "oem1.inf", .obstacle = Obstacle::Unreadable, .trace = kUnopened, .infStays = true, .pnfStays = true},
    {.name = "oem2.inf", .obstacle = Obstacle::InfUndeletable, .trace = Read({kFailed, kPnf}), .infStays = true,
         .packageError = ERROR_ACCESS_DENIED},
    {.name = "oem3.inf", .obstacle = Obstacle::PnfUndeletable, .trace = Read({kPnf, kFailed}), .pnfStays = true},
    {.name = "oem4.inf", .obstacle = Obstacle::BothUndeletable, .trace = Read({kFailed, kPnf, kFailed}),
         .infStays = true, .pnfStays = true, .packageError = ERROR_ACCESS_DENIED},
    {.name = "oem5.inf", .obstacle = Obstacle::InUse, .trace = Read({kFailed, kPnf}), .infStays = true,
         .packageError = ERROR_SHARING_VIOLATION},
    {.name = "oem6.inf", .holdsKey = false, .obstacle = Obstacle::Folder, .trace = kUnopened, .infStays = true},
    {.name = "oem7.inf", .obstacle = Obstacle::NoPnf, .trace = Read({kPnf, kFailed})},
    {.name = "oem8.inf", .holdsKey = false, .obstacle = Obstacle::Unreadable, .trace = kUnopened, .infStays = true,
         .pnfStays = true},
    {.name = "oem9.inf", .trace = Read({kPnf})},
    {.name = "oem99.inf", .holdsKey = false, .trace = {kRead[0], "----> Search Key Not Found, exiting...."},
         .infStays = true, .pnfStays = true},
};

std::string PnfOf(const std::string& inf) { return inf.substr(0, inf.size() - 4) + ".PNF"; }

// Run with copies put there by hand (the store holds no package of theirs)
// and with copies published as driver packages: the package removal comes
// first, and what the cleanup then traces and leaves is the same.
class OemCleanupObstacles : public MachineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(OemCleanupObstacles, CopiesThatCannotBeReadStayAndFailedDeletionsAreTracedAndPassedOver) {
    const bool published = GetParam();
    plat::File heldOpen;
    for (const OemCopy& copy : kCopies) {
        const std::string inf = kInf + copy.name;
        if (copy.obstacle == Obstacle::Folder) {
            machine().PutFolder(inf);
            continue;
        }
        const std::string content = std::string("[Models]\r\n%Dev%=Inst, ") +
                                    (copy.holdsKey ? kBaseId : "PCI\\VEN_8086&DEV_1234") + "\r\n";
        PutOemCopy(copy.name, content, published);
        if (copy.obstacle == Obstacle::NoPnf) {
            ASSERT_TRUE(plat::DeleteFileA((kInf + PnfOf(copy.name)).c_str()));
        }
        switch (copy.obstacle) {
        case Obstacle::Unreadable: machine().MakeUnreadable(inf); break;
        case Obstacle::InfUndeletable: machine().MakeUndeletable(inf); break;
        case Obstacle::PnfUndeletable: machine().MakeUndeletable(kInf + PnfOf(copy.name)); break;
        case Obstacle::BothUndeletable:
            machine().MakeUndeletable(inf);
            machine().MakeUndeletable(kInf + PnfOf(copy.name));
            break;
        case Obstacle::InUse:
            heldOpen = plat::File(plat::CreateFileA(inf.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(heldOpen);
            break;
        default: break;
        }
    }

    RemoveOemInfFiles(kBaseId);
    heldOpen.reset();

    Lines expected{"----> Removing all OEM*.inf/pnf files associated with the specified search key",
                   "----> Retreiving the windows path", kWin};
    Lines packagesLeft;
    for (const OemCopy& copy : kCopies) {
        expected.push_back(copy.name);
        for (const std::string& line : copy.trace) {
            expected.push_back(line);
            if (line != kRead[1]) continue;
            // A copy that holds the key: its package removal comes before the deletions.
            const DWORD error = published ? copy.packageError : ERROR_FILE_NOT_FOUND;
            char result[100];
            std::snprintf(result, sizeof result, "----> Driver Package Uninstall failed : GetLastError() = %08lxh",
                          static_cast<unsigned long>(error));
            expected.push_back("----> Uninstalling Driver Package");
            expected.push_back(error == ERROR_SUCCESS ? "----> Driver Package Uninstalled" : result);
        }
        const bool removed = std::find(copy.trace.begin(), copy.trace.end(), kRead[1]) != copy.trace.end() &&
                             copy.packageError == ERROR_SUCCESS;
        if (published && copy.obstacle != Obstacle::Folder && !removed) packagesLeft.push_back(copy.name);
    }
    EXPECT_EQ(Trace(), expected);
    EXPECT_EQ(machine().DriverPackages(), packagesLeft);
    const Lines left = machine().ListFolder(kInf);  // files and folders
    const auto stays = [&](const std::string& name) {
        return std::find(left.begin(), left.end(), name) != left.end();
    };
    for (const OemCopy& copy : kCopies) {
        EXPECT_EQ(stays(copy.name), copy.infStays) << copy.name;
        EXPECT_EQ(stays(PnfOf(copy.name)), copy.pnfStays) << copy.name;
    }
    EXPECT_EQ(machine().OpenHandles().files, 0);
    EXPECT_EQ(machine().OpenHandles().searches, 0);
}

INSTANTIATE_TEST_SUITE_P(Copies, OemCleanupObstacles, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "PublishedAsPackages" : "PutByHand");
                         });

// Without the Windows folder there is no pattern to search with: a lookup
// that says the folder does not exist (S_FALSE, though it gives the path),
// gives an empty path or fails searches nothing.
TEST_F(MachineTest, OemCleanupWithoutAWindowsPathSearchesNothing) {
    using Answer = sim::Machine::FolderAnswer;
    for (const auto& [answer, code] :
         {std::pair{Answer::Missing, "00000001h"}, {Answer::EmptyPath, "00000000h"}, {Answer::Path, "80004005h"}}) {
        SetUp();
        machine().PutFile(kInf + "oem1.inf", kBaseId);
        machine().windowsFolderAnswer = answer;
        if (answer == Answer::Path) machine().FailNext("SHGetFolderPathA", ERROR_ACCESS_DENIED);

        RemoveOemInfFiles(kBaseId);

        EXPECT_EQ(Trace(), (Lines{"----> Removing all OEM*.inf/pnf files associated with the specified search key",
                                 "----> Retreiving the windows path",
                                 std::string("----> Windows path not available : ") + code}));
        EXPECT_EQ(machine().Calls("FindFirstFileA"), 0) << code;
        EXPECT_TRUE(machine().FileExists(kInf + "oem1.inf")) << code;
    }
}

}  // namespace
