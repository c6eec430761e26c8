// Port mapping and renaming: what ends up in the device's hardware key and
// friendly name, and how failures show on the status line.
#include "machine_fixture.h"

#include "installer/port_mapping.h"

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

TEST_F(MachineTest, AHardwareKeyThatCannotBeOpenedFailsTheRowButNotThePass) {
    AddPosDevices(false, "CD");
    SelectFourPorts();
    machine().DenyKeyAccess(ParamsKey(kPorts[0].instanceId));

    EXPECT_TRUE(MapComPorts());

    const auto timeline = Timeline();
    ASSERT_GE(timeline.size(), 4u);
    EXPECT_EQ(timeline[1], "Mapping Serial Port C to COM3...[Failed]");
    EXPECT_EQ(timeline[4], "Mapping Serial Port D to COM4...[OK]");
    EXPECT_TRUE(TraceHas("----> Error opening device parameters key"));
    EXPECT_TRUE(TraceHas("--> Error assigning COM port"));
    EXPECT_EQ(machine().FindDevice(kPorts[0].instanceId)->properties.count(SPDRP_FRIENDLYNAME), 0u);
    EXPECT_TRUE(machine().GetValue(ParamsKey(kPorts[1].instanceId), "PortName"));
}

// Each step of a rename can fail; the step's trace names it and what was
// written before it stays written. A port the search cannot find (not
// present, or no set to search) counts as mapped, with nothing written.
struct RenameFault {
    const char* operation;  // fails once
    DWORD error;
    const char* trace;
    bool portNameWritten;
    bool mapped = false;
    bool present = true;
};

class RenameFailure : public MachineTest, public ::testing::WithParamInterface<RenameFault> {};

TEST_P(RenameFailure, StopsAtTheFailingStep) {
    sim::Device port = Port('C');
    port.present = GetParam().present;
    machine().AddDevice(port);
    const std::string failing = GetParam().operation != nullptr ? GetParam().operation : "";
    if (!failing.empty()) machine().FailNext(failing, GetParam().error);

    EXPECT_EQ(AssignComPort("MF\\PCI1D9E_COMF", "COM3", "Serial Port C"), GetParam().mapped);

    EXPECT_TRUE(TraceHas(GetParam().trace));
    EXPECT_EQ(Trace().back(), GetParam().mapped ? GetParam().trace : "--> Error assigning COM port");
    EXPECT_EQ(machine().GetValue(ParamsKey(kPorts[0].instanceId), "PortName").has_value(),
              GetParam().portNameWritten);
    EXPECT_EQ(machine().FindDevice(kPorts[0].instanceId)->properties.count(SPDRP_FRIENDLYNAME), 0u);
    EXPECT_EQ(machine().Calls("RegCloseKey"), machine().Calls("RegOpenKeyExA") -
                                                  (failing == "RegOpenKeyExA"));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RenameFailure,
    ::testing::Values(
        RenameFault{"SetupDiGetDeviceInstanceIdA", ERROR_INSUFFICIENT_BUFFER,
                    "----> Error getting instance ID", false},
        RenameFault{"RegOpenKeyExA", ERROR_ACCESS_DENIED, "----> Error opening device parameters key",
                    false},
        RenameFault{"RegSetValueExA", ERROR_ACCESS_DENIED, "----> Error writing to COM port value key\n",
                    false},
        RenameFault{"SetupDiSetDeviceRegistryPropertyA", ERROR_ACCESS_DENIED,
                    "----> Error writing updated friendly name\n", true},
        RenameFault{nullptr, 0, "----> No more devices\n", false, true, false},
        RenameFault{"SetupDiGetClassDevsA", ERROR_INVALID_PARAMETER,
                    "----> Abnormal Exit : GetLastError() = 00000006h\n", false, true}));
