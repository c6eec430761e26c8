// Port mapping and renaming: what ends up in the device's hardware key and
// friendly name, and how failures show on the status line.
#include "machine_fixture.h"

using namespace pos;

namespace {

void SelectFourPorts() {
    for (int row : {kRowSerialPortD, kRowSerialPortE, kRowSerialPortF}) {
        g_deviceTable[row].installFlag = 1;
    }
}

}  // namespace

TEST_F(MachineTest, FourPortsAreMappedInOrderWithExactlyTheBytesOfTheirNames) {
    AddPosDevices(false, "CDEF");
    SelectFourPorts();

    EXPECT_TRUE(MapComPorts());

    EXPECT_EQ(Timeline(), Join({MappingLines('C'), MappingLines('D'), MappingLines('E'), MappingLines('F')}));
    // Each name is written with its NUL counted, as REG_SZ requires.
    const auto writes = machine().RegWrites();
    ASSERT_EQ(writes.size(), 4u);
    for (const auto& write : writes) {
        EXPECT_EQ(write.valueName, "PortName");
        EXPECT_EQ(write.type, REG_SZ);
        EXPECT_EQ(write.count, 5u);
    }
    const auto trace = Trace();
    ASSERT_GE(trace.size(), 5u);
    EXPECT_EQ(Lines(trace.begin(), trace.begin() + 5),
              (Lines{"--> Device Enumeration(FindDevice)", "MF\\PCI1D9E_COMF", "\n",
                     "----> FindDevice match(REG_MULTI_SZ)!", "--> Reassigning COM port\n"}));
    for (int i = 0; i < 4; ++i) {
        const std::string com = "COM" + std::to_string(3 + i);
        const auto portName = machine().GetValue(ParamsKey(kPorts[i].instanceId), "PortName");
        ASSERT_TRUE(portName) << com;
        EXPECT_EQ(portName->type, REG_SZ);
        // The terminating NUL is stored, and nothing after it.
        EXPECT_EQ(portName->bytes, com + std::string(1, '\0'));
        const auto& friendly =
            machine().FindDevice(kPorts[i].instanceId)->properties.at(SPDRP_FRIENDLYNAME);
        EXPECT_EQ(friendly.bytes,
                  std::string("Serial Port ") + kPorts[i].letter + "(" + com + ")" + std::string(1, '\0'));
    }
}

TEST_F(MachineTest, OnlyPortRowsThatAreSelectedProduceMappingLines) {
    AddPosDevices(true, "CDEF");
    g_deviceTable[kRowFourPortCard].installFlag = 1;  // a card row, never mapped

    EXPECT_TRUE(MapComPorts());

    EXPECT_EQ(Timeline(), MappingLines('C'));
    EXPECT_FALSE(machine().GetValue(ParamsKey(kPorts[1].instanceId), "PortName"));
}

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
