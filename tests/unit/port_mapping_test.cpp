// Port mapping of a port that is not present. Which rows are mapped, and the
// bytes of each name, are rows of the catalogue of scenarios.
#include "machine_fixture.h"

using namespace pos;

// A port that is not present is not found: it counts as mapped, with nothing
// written. (Each step of a rename that fails is a row of the fault sweep.)
TEST_F(MachineTest, APortThatIsNotPresentCountsAsMappedWithNothingWritten) {
    sim::Device port = Port('C');
    port.present = false;
    machine().AddDevice(port);

    EXPECT_TRUE(AssignComPort("MF\\PCI1D9E_COMF", "COM3", "Serial Port C"));

    EXPECT_EQ(Trace().back(), "----> No more devices\n");
    EXPECT_FALSE(machine().GetValue(ParamsKey(kPorts[0].instanceId), "PortName"));
    EXPECT_EQ(machine().FindDevice(kPorts[0].instanceId)->properties.count(SPDRP_FRIENDLYNAME), 0u);
    EXPECT_EQ(machine().Calls("RegCloseKey"), machine().Calls("RegOpenKeyExA"));
}
