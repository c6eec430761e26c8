// Which device a search returns: the direction of the match, value types,
// values at the edge of the buffer, and how the walk ends.
#include "machine_fixture.h"

using namespace pos;

namespace {

class SearchTest : public MachineTest {
protected:
    // Adds a device with this one property.
    void Add(const std::string& id, DWORD property, const sim::Value& value) {
        sim::Device d;
        d.instanceId = id;
        d.properties[property] = value;
        machine().AddDevice(d);
    }

    // The instance ID of the device found, or "" when none.
    std::string Find(const std::string& key, DWORD property) {
        plat::DeviceInfoSet set(plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
        SP_DEVINFO_DATA found{};
        const SearchResult result = FindDevice(key.c_str(), property, &found, set.get());
        if (result == SearchResult::Failed) return "<search failed>";
        if (result == SearchResult::NotFound) return "";
        EXPECT_EQ(found.cbSize, sizeof(SP_DEVINFO_DATA));
        char id[100] = {};
        EXPECT_TRUE(plat::SetupDiGetDeviceInstanceIdA(set.get(), &found, id, sizeof id, nullptr));
        return id;
    }
};

}  // namespace

TEST_F(SearchTest, DescriptionsMatchOnlyWhenEqualToTheKey) {
    Add("A\\LONGER", SPDRP_DEVICEDESC, sim::Sz(std::string(kBaseDesc) + " 2"));
    Add("A\\PIECE", SPDRP_DEVICEDESC, sim::Sz("ZAN 7350-21x"));
    Add("A\\EMPTY", SPDRP_DEVICEDESC, sim::Sz(""));
    Add("A\\LIST", SPDRP_DEVICEDESC, sim::MultiSz({"ZAN", kBaseDesc}));

    EXPECT_EQ(Find(kBaseDesc, SPDRP_DEVICEDESC), "A\\LIST");
    EXPECT_EQ(Find("ZAN 7350-21x Base Device 2 extra", SPDRP_DEVICEDESC), "");

    Add("A\\EQUAL", SPDRP_DEVICEDESC, sim::Sz(kBaseDesc));
    EXPECT_EQ(Find(kBaseDesc, SPDRP_DEVICEDESC), "A\\LIST");
    EXPECT_TRUE(TraceHas("----> FindDevice match(REG_MULTI_SZ)!"));
}

TEST_F(SearchTest, HardwareIdsMatchWhenTheyArePiecesOfTheKey) {
    // The card with another revision first: the revision-less ID matches.
    Add("PCI\\OTHER_REV", SPDRP_HARDWAREID,
        sim::MultiSz({"PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_11", kCardIdNoRev}));

    EXPECT_EQ(Find(kCardId, SPDRP_HARDWAREID), "PCI\\OTHER_REV");

    // Each string of the list is traced up to the matching one, and not beyond.
    EXPECT_EQ(Trace(), (Lines{"--> Device Enumeration(FindDevice)",
                              "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_11", "\n", kCardIdNoRev,
                              "\n", "----> FindDevice match(REG_MULTI_SZ)!"}));
}

TEST_F(SearchTest, ASingleStringHardwareIdMatchesButAnEmptyOneNever) {
    Add("ROOT\\EMPTY", SPDRP_HARDWAREID, sim::Sz(""));
    Add("ROOT\\EMPTYLIST", SPDRP_HARDWAREID, sim::MultiSz({}));
    Add("ROOT\\BASE", SPDRP_HARDWAREID, sim::Sz(kBaseId));

    EXPECT_EQ(Find(kBaseId, SPDRP_HARDWAREID), "ROOT\\BASE");
    EXPECT_EQ(Trace().back(), "----> FindDevice match(REG_SZ)!");
    EXPECT_EQ(Find(kCardId, SPDRP_HARDWAREID), "");
}

// Nothing found, in an empty set or among values the search cannot take.
TEST_F(SearchTest, ValuesOfOtherTypesOrBeyondTheBufferArePassedOverSilently) {
    EXPECT_EQ(Find(kBaseDesc, SPDRP_DEVICEDESC), "");
    EXPECT_EQ(Trace(), (Lines{"--> Device Enumeration(FindDevice)", "----> No more devices\n"}));
    machine().ClearTrace();

    Add("ROOT\\DWORD", SPDRP_HARDWAREID, sim::Value{REG_DWORD, "\x01\0\0\0"});
    Add("ROOT\\BINARY", SPDRP_HARDWAREID, sim::Value{REG_BINARY, kBaseId});
    // 101 bytes with the terminator: too long for the buffer.
    Add("ROOT\\LONG", SPDRP_HARDWAREID, sim::Sz(std::string(100, 'P')));
    Add("ROOT\\NOPROP", SPDRP_DEVICEDESC, sim::Sz("x"));

    EXPECT_EQ(Find(std::string(120, 'P'), SPDRP_HARDWAREID), "");
    EXPECT_EQ(Trace(), (Lines{"--> Device Enumeration(FindDevice)", "----> No more devices\n"}));
}

TEST_F(SearchTest, ValuesThatFillTheBufferWithoutTerminatorStayInsideIt) {
    // Exactly 100 bytes, no NUL: read whole, compared as 100 characters.
    Add("ROOT\\FULL", SPDRP_HARDWAREID, sim::Value{REG_SZ, std::string(100, 'Q')});
    Add("ROOT\\LIST", SPDRP_HARDWAREID, sim::Value{REG_MULTI_SZ, std::string(60, 'R') + '\0' + std::string(39, 'S')});

    EXPECT_EQ(Find(std::string(100, 'Q'), SPDRP_HARDWAREID), "ROOT\\FULL");
    EXPECT_EQ(Find(std::string(99, 'Q'), SPDRP_HARDWAREID), "");
    EXPECT_EQ(Find("x" + std::string(39, 'S'), SPDRP_HARDWAREID), "ROOT\\LIST");
}

// A search that could not look everywhere cannot say a device is not there.
TEST_F(SearchTest, AWalkOrAReadThatFailsFailsTheSearchUnlessALaterDeviceMatches) {
    machine().AddDevice(BaseDevice());
    machine().FailNext("SetupDiEnumDeviceInfo", ERROR_INVALID_USER_BUFFER);
    EXPECT_EQ(Find(kBaseDesc, SPDRP_DEVICEDESC), "<search failed>");
    EXPECT_EQ(Trace().back(), "----> Abnormal Exit : GetLastError() = 000006f8h\n");

    // The unreadable device may be the one searched for.
    machine().FailNext("SetupDiGetDeviceRegistryPropertyA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Find(kBaseDesc, SPDRP_DEVICEDESC), "<search failed>");
    EXPECT_EQ(Trace().back(), "----> Abnormal Exit : GetLastError() = 00000005h\n");
    machine().AddDevice(BaseDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE1"));
    machine().FailNext("SetupDiGetDeviceRegistryPropertyA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Find(kBaseDesc, SPDRP_DEVICEDESC), "PCI\\VEN_1D9E&DEV_0B52\\BASE1");
}
