// A driver update that fails, traced with its cause. Whole installs, failed
// ones among them, are rows of tests/scenarios/catalogue.txt.
#include "machine_fixture.h"

using namespace pos;

namespace {

const std::string kBaseInf = std::string(kWin) + "\\INF\\ZANBaseD.inf";

}  // namespace

// The ways a driver update fails, each traced with its cause: errors of the
// call, and a missing INF or device as the platform reports them.
struct UpdateFailure {
    DWORD error;        // the call fails with it; 0: it runs
    const char* cause;  // as the failure's trace line names it; nullptr: it succeeds
    const char* words = nullptr;  // the line after it that names a cause the code alone does not
    const char* hardwareId = kBaseId;
    const char* inf = kBaseInf.c_str();
};

constexpr char kUntrusted[] =
    "----> The driver package's publisher is not trusted on this machine: add its certificate to the Trusted "
    "Publishers store before the install";

class DriverUpdateFailure : public MachineTest,
                            public ::testing::WithParamInterface<UpdateFailure> {};

TEST_P(DriverUpdateFailure, IsTracedWithItsCause) {
    PutTableInfs();
    AddPosDevices(true, "");
    if (GetParam().error != 0) machine().FailNext("UpdateDriverForPlugAndPlayDevicesA", GetParam().error);

    EXPECT_EQ(InstallDeviceDriver(GetParam().hardwareId, GetParam().inf), GetParam().cause == nullptr);

    Lines trace{"--> Installing device driver"};
    if (GetParam().cause != nullptr) {
        trace.push_back(std::string("----> Device Driver Installation failed : ") + GetParam().cause + "\n");
    }
    if (GetParam().words != nullptr) trace.push_back(GetParam().words);
    EXPECT_EQ(Trace(), trace);
}

INSTANTIATE_TEST_SUITE_P(Errors, DriverUpdateFailure, ::testing::Values(
    UpdateFailure{ERROR_FILE_NOT_FOUND, "INF File Not Found"}, UpdateFailure{ERROR_INVALID_FLAGS, "Invalid Flags"},
    UpdateFailure{ERROR_NO_SUCH_DEVINST, "No such device"},
    UpdateFailure{ERROR_ACCESS_DENIED, "GetLastError() = 00000005h"},
    UpdateFailure{0xE0000247, "GetLastError() = e0000247h"},
    // A publisher the machine does not trust yet: the code, then the cause in words.
    UpdateFailure{ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED, "GetLastError() = e0000242h", kUntrusted},
    UpdateFailure{ERROR_AUTHENTICODE_PUBLISHER_NOT_TRUSTED, "GetLastError() = e0000243h", kUntrusted},
    UpdateFailure{0, "INF File Not Found", nullptr, kBaseId, "C:\\WINDOWS\\INF\\absent.inf"},
    UpdateFailure{0, "No such device", nullptr, "PCI\\VEN_FFFF&DEV_0000"}, UpdateFailure{0, nullptr}));
