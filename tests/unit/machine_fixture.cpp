#include "machine_fixture.h"

#include <algorithm>
#include <mutex>

namespace pos {

const PortDevice kPorts[4] = {
    {'C', "MF\\PCI1D9E_COMF", "MF\\PCI1D9E_COMF\\PORT0"},
    {'D', "MF\\PCI1D9E_COMC", "MF\\PCI1D9E_COMC\\PORT1"},
    {'E', "MF\\PCI1D9E_COME", "MF\\PCI1D9E_COME\\PORT2"},
    {'F', "MF\\PCI1D9E_COMD", "MF\\PCI1D9E_COMD\\PORT3"},
};

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
}

void MachineTest::TearDown() {
    g_status.SetObserver(nullptr);
    sim::TheMachine().onSleep = nullptr;
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

}  // namespace pos
