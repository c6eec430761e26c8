#include "machine_fixture.h"

#include <mutex>

namespace pos {

const PortDevice kPorts[4] = {
    {'C', "MF\\PCI1D9E_COMF", "MF\\PCI1D9E_COMF\\PORT0"},
    {'D', "MF\\PCI1D9E_COMC", "MF\\PCI1D9E_COMC\\PORT1"},
    {'E', "MF\\PCI1D9E_COME", "MF\\PCI1D9E_COME\\PORT2"},
    {'F', "MF\\PCI1D9E_COMD", "MF\\PCI1D9E_COMD\\PORT3"},
};

const std::string kInf = std::string(kWin) + "\\INF\\";

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::map<std::string, int> ChangingCalls() {
    std::map<std::string, int> calls;
    for (const char* operation : {"SetupDiSetDeviceRegistryPropertyA", "SetupDiRemoveDevice", "SetupUninstallOEMInfA",
                                  "UpdateDriverForPlugAndPlayDevicesA", "RegSetValueExA", "DeleteFileA",
                                  "SetFileInformationByHandle", "MessageBoxA"})
        calls[operation] = sim::TheMachine().Calls(operation);
    return calls;
}

std::string ParamsKey(const std::string& instanceId) {
    return "SYSTEM\\CurrentControlSet\\Enum\\" + instanceId + "\\Device Parameters";
}

Lines InstallLines(const std::string& description, const char* result) {
    const std::string line = "Installing " + description + "...";
    return {line, line + result, "sleep 2000"};
}

Lines MappingLines(char letter, const char* result) {
    const std::string line =
        std::string("Mapping Serial Port ") + letter + " to COM" + std::to_string(3 + (letter - 'C')) + "...";
    return {line, line + result, "sleep 2000"};
}

Lines LogTexts(const std::optional<std::string>& text, const std::string& processId) {
    if (!text) return {"<no log>"};
    const std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )" + processId + R"( (.*)\r\n)");
    Lines texts;
    std::ptrdiff_t at = 0;
    for (std::sregex_iterator it(text->begin(), text->end(), line), end; it != end; at += it->length(), ++it) {
        if (it->position() != at) texts.push_back("<not a line> " + text->substr(at, it->position() - at));
        texts.push_back((*it)[1]);
    }
    if (at != static_cast<std::ptrdiff_t>(text->size())) texts.push_back("<not a line> " + text->substr(at));
    return texts;
}

Lines TraceAsLogged() {
    Lines lines;
    for (std::string line : sim::TheMachine().Trace()) {
        for (std::size_t at; (at = line.find('\n')) != std::string::npos;) line.replace(at, 1, "\\n");
        lines.push_back(line);
    }
    return lines;
}

std::string FirstLogLine(const std::string& arguments) {
    return "ZanDriverInstaller 1.0.0.1 x64, arguments \"" + arguments + "\"";
}

HANDLE RunAtOnce(ThreadProc proc, LPVOID param) {
    proc(param);
    return reinterpret_cast<HANDLE>(1);
}

HANDLE NeverRun(ThreadProc, LPVOID) { return reinterpret_cast<HANDLE>(2); }

bool g_lockOwnedAtRunEnd = false;

int RunWholeProgram(const std::string& argumentText, bool mayHandOver, ThreadStarter worker, ThreadStarter dismisser) {
    ProgramRun run(argumentText.c_str());
    const int exitCode = ::RunProgram(run, mayHandOver, [&](ProgramRun& r) {
        StartDismisser(dismisser);
        return StartWorkerOrReport(g_status, worker, &r.Worker(), nullptr) != nullptr;
    });
    g_lockOwnedAtRunEnd = sim::TheMachine().MutexOwnedHere(kRunLockName);
    return exitCode;
}

namespace {

std::mutex g_timelineLock;
std::vector<std::string> g_timeline;

void RecordLine(const char* line) {
    std::lock_guard<std::mutex> hold(g_timelineLock);
    g_timeline.emplace_back(line);
}

void RecordSleep(DWORD ms) {
    std::lock_guard<std::mutex> hold(g_timelineLock);
    g_timeline.push_back("sleep " + std::to_string(ms));
}

}  // namespace

sim::Device BaseDevice(const std::string& instanceId) {
    sim::Device d;
    d.instanceId = instanceId;
    d.classGuid = sim::kSystemClass;
    d.properties[SPDRP_DEVICEDESC] = sim::Sz(kBaseDesc);
    d.properties[SPDRP_HARDWAREID] = sim::MultiSz({kBaseId});
    return d;
}

sim::Device Card(const std::string& instanceId) {
    sim::Device d;
    d.instanceId = instanceId;
    d.classGuid = sim::kMultifunctionClass;
    d.properties[SPDRP_DEVICEDESC] = sim::Sz(kCardDesc);
    d.properties[SPDRP_HARDWAREID] = sim::MultiSz({kCardId, kCardIdNoRev});
    return d;
}

sim::Device Port(char letter) {
    const PortDevice& port = kPorts[letter - 'C'];
    sim::Device d;
    d.instanceId = port.instanceId;
    d.classGuid = sim::kPortsClass;
    d.interfaces = {sim::kComPortInterface};
    d.properties[SPDRP_DEVICEDESC] = sim::Sz(std::string("Serial Port ") + letter);
    d.properties[SPDRP_HARDWAREID] = sim::MultiSz({port.hardwareId});
    return d;
}

void MachineTest::SetUp() {
    sim::TheMachine().Reset();
    ResetDeviceTable();
    g_status.Reset();
    g_windowsDir = kWin;
    {
        std::lock_guard<std::mutex> hold(g_timelineLock);
        g_timeline.clear();
    }
    g_status.SetObserver(&RecordLine);
    sim::TheMachine().onSleep = &RecordSleep;
    markersAtBoxes.clear();
    sim::TheMachine().onMessageBox = [this](const sim::MessageBoxCall&) { markersAtBoxes.push_back(Markers()); };
}

void MachineTest::TearDown() {
    SetTraceSink(nullptr, nullptr);  // a run's log may have set it
    g_status.SetObserver(nullptr);
    sim::TheMachine().onSleep = nullptr;
    sim::TheMachine().onMessageBox = nullptr;
}

void MachineTest::PutTableInfs() {
    for (const char* inf : {"ZANBaseD.inf", "ZANBaseD.pnf", "1port\\ZAN2kmf.inf",
                            "1port\\ZAN2kmf.pnf", "4port\\ZAN2kmf.inf", "4port\\ZAN2kmf.pnf",
                            "ZANPorts.inf"}) {
        machine().PutFile(std::string(kWin) + "\\INF\\" + inf, "[Version]\n");
    }
}

void MachineTest::AddPosDevices(bool base, const std::string& ports) {
    if (base) machine().AddDevice(BaseDevice());
    machine().AddDevice(Card());
    for (char letter : ports) machine().AddDevice(Port(letter));
}

RunOutcome MachineTest::Run(const std::string& cmdLine) {
    const RunOptions options = ParseRunOptions(cmdLine);
    WorkerRun worker;
    worker.choices = &options;
    InstallerThreadProc(&worker);
    return worker.outcome;
}

Lines MachineTest::DeviceIds() {
    Lines ids;
    for (const auto& device : sim::TheMachine().Devices()) ids.push_back(device.instanceId);
    return ids;
}

Lines MachineTest::UpdatedIds() {
    Lines ids;
    for (const auto& call : sim::TheMachine().DriverUpdates()) ids.push_back(call.hardwareId);
    return ids;
}

void MachineTest::PutOemCopies(bool published) {
    const std::pair<const char*, std::string> copies[] = {
        {"oem1.inf", std::string("[Models]\r\n%Base%=Inst, ") + kBaseId + "\r\n"},
        {"oem2.inf", "[Models]\r\n%Other%=Inst, PCI\\VEN_8086&DEV_1234\r\n"},
        {"oem3.inf", std::string("[Models]\n%Card%=Inst, ") + kCardId + "\n"},
        {"oem4.inf", std::string("; older driver\n%Base%=Inst,") + kBaseId},
    };
    for (const auto& [name, content] : copies) PutOemCopy(name, content, published);
}

void MachineTest::PutOemCopy(const std::string& name, const std::string& content, bool published) {
    if (published) return machine().PublishDriverPackage(name, content);
    machine().PutFile(kInf + name, content);
    machine().PutFile(kInf + name.substr(0, name.size() - 4) + ".PNF", "pnf");
}

std::vector<std::string> MachineTest::Timeline() const {
    std::lock_guard<std::mutex> hold(g_timelineLock);
    return g_timeline;
}

bool MachineTest::TraceHas(const std::string& line) const {
    const auto trace = sim::TheMachine().Trace();
    return std::find(trace.begin(), trace.end(), line) != trace.end();
}

std::vector<std::string> MachineTest::Markers() const {
    std::vector<std::string> markers;
    for (const char* name : {"RESULT.FAIL", "RESULT.SUCCESS"}) {
        if (sim::TheMachine().FileExists(std::string(kWin) + "\\" + name)) markers.push_back(name);
    }
    return markers;
}

std::vector<Box> MachineTest::Boxes() const {
    std::vector<Box> boxes;
    for (const auto& box : sim::TheMachine().MessageBoxes()) boxes.emplace_back(box.type, box.caption, box.text);
    return boxes;
}

}  // namespace pos
