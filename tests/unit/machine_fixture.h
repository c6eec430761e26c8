// A point-of-sale machine on the simulated platform, and what the tests read
// back from a run: the status lines with the pauses between them, and the trace.
// The one header of the native unit tests.
#pragma once

#include "device/device_search.h"
#include "device/driver_update.h"
#include "installer/device_table.h"
#include "installer/oem_inf_cleanup.h"
#include "installer/operation_runner.h"
#include "installer/port_mapping.h"
#include "installer/status_board.h"
#include "installer/uninstall_sequence.h"
#include "installer/windows_folder.h"
#include "platform/handles.h"
#include "platform/operations.h"
#include "platform/trace.h"
#include "run/log_file_open.h"
#include "run/program_run.h"
#include "run/run_log.h"
#include "run/run_options.h"
#include "run/worker_run.h"
#include "run/wow64_handover.h"
#include "sim/machine.h"
#include "ui/progress_tick.h"
#include "ui/wizard_dismisser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace pos {

using Lines = std::vector<std::string>;

constexpr const char kBaseId[] = "PCI\\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E";
constexpr const char kCardId[] = "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10";
constexpr const char kCardIdNoRev[] = "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E";
constexpr const char kBaseDesc[] = "ZAN 7350-21x Base Device";
constexpr const char kCardDesc[] = "ZAN 7350-21x Serial Multifunction Device";
constexpr const char kWin[] = "C:\\WINDOWS";
constexpr const char kCaption[] = "ZAN 7350-21X PCI Serial Port and Base Device Driver v1.0";
extern const std::string kInf;  // the Windows INF folder, with its backslash
// The calls so far of each operation a check may never call.
std::map<std::string, int> ChangingCalls();

Lines Join(std::initializer_list<Lines> parts);
std::string ParamsKey(const std::string& instanceId);  // the device's "Device Parameters" key
// The status lines of one install row and of one port's mapping, each with its pause.
Lines InstallLines(const std::string& description, const char* result = "[OK]");
Lines MappingLines(char letter, const char* result = "[OK]");

// A message box as shown: its style, caption and text.
using Box = std::tuple<UINT, std::string, std::string>;
inline Box ErrorBox(const std::string& text) { return {MB_OK, kCaption, text}; }

// The log's lines without their time and process ID ("<no log>" for none);
// anything else in it shows.
Lines LogTexts(const std::optional<std::string>& text, const std::string& processId = R"(\d+)");
// The trace as the log writes it: line breaks escaped.
Lines TraceAsLogged();
std::string FirstLogLine(const std::string& arguments);

// Thread starters: one that runs the procedure to its end at once, one that
// never runs it (the dismisser cycles for ever).
HANDLE RunAtOnce(ThreadProc proc, LPVOID param);
HANDLE NeverRun(ThreadProc proc, LPVOID param);
// The program's run (RunProgram) on this argument text, the window step's
// starts through these starters: the dismisser's, then the worker's.
// g_lockOwnedAtRunEnd: whether the run lock was still owned when RunProgram
// returned, before the run's objects went.
int RunWholeProgram(const std::string& argumentText, bool mayHandOver = true, ThreadStarter worker = RunAtOnce,
                    ThreadStarter dismisser = NeverRun);
extern bool g_lockOwnedAtRunEnd;

// The port devices: letter, hardware ID, instance ID.
struct PortDevice {
    char letter;
    const char* hardwareId;
    const char* instanceId;
};
extern const PortDevice kPorts[4];

sim::Device BaseDevice(const std::string& instanceId = "PCI\\VEN_1D9E&DEV_0B52\\BASE0");
// The card lists its full ID first and the revision-less one second.
sim::Device Card(const std::string& instanceId = "PCI\\VEN_1D9E&DEV_0B54\\CARD0");
sim::Device Port(char letter);

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    sim::Machine& machine() { return sim::TheMachine(); }

    // The driver INF files of the table, as a setup script copies them.
    void PutTableInfs();
    // Base device, card and the given ports.
    void AddPosDevices(bool base, const std::string& ports);

    // OEM copies in the INF folder, each with its PNF, or published as driver
    // packages: oem1 and oem4 (an older driver) name the base device, oem3 the
    // card, oem2 another vendor's device.
    void PutOemCopies(bool published);
    void PutOemCopy(const std::string& name, const std::string& content, bool published);

    // Runs the worker synchronously with the choices read from this command-line text.
    RunOutcome Run(const std::string& cmdLine);

    // Status lines as written, each pause as "sleep N".
    std::vector<std::string> Timeline() const;
    std::vector<std::string> Trace() const { return sim::TheMachine().Trace(); }
    static Lines DeviceIds();   // of the machine's devices, in order
    static Lines UpdatedIds();  // the hardware IDs given a driver update, in order
    bool TraceHas(const std::string& line) const;
    // The markers present in the Windows directory.
    std::vector<std::string> Markers() const;
    std::vector<Box> Boxes() const;
    // The markers present while each box was shown.
    std::vector<Lines> markersAtBoxes;
};

}  // namespace pos
