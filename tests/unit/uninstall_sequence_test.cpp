// The uninstall operation: its OEM INF cleanup and the driver store. Whole
// uninstalls are rows of tests/scenarios/catalogue.txt.
#include "machine_fixture.h"

using namespace pos;

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

class DriverPackageTest : public MachineTest, public ::testing::WithParamInterface<PackageCase> {};

// The base device's driver came from oem1 and the card's from oem3; oem4, an
// older driver of the base device, is still used by a device that stays; oem2
// is another vendor's. Whatever the store does, the same files are left.
TEST_P(DriverPackageTest, RemovedDevicesPackagesLeaveTheStoreAndTheSameFilesGo) {
    const PackageCase& c = GetParam();
    PutTableInfs();
    PutOemCopies(true);
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
