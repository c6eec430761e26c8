// The native player of the catalogue of scenarios (tests/scenarios/catalogue.txt):
// each scenario's machine arranged on the simulated machine as
// tools/provision.sh arranges it under Wine, its runs made through the real
// run (RunProgram), and what must hold afterwards checked. The Wine player
// (tests/e2e/test_scenarios.sh) plays the same rows.
#include "machine_fixture.h"

using namespace pos;

namespace {

struct Scenario {
    std::string name;
    std::map<std::string, std::vector<std::string>> fields;
    std::vector<std::pair<std::string, std::string>> steps;  // "before" and "rename", in order

    const std::vector<std::string>& All(const std::string& field) const {
        static const std::vector<std::string> none;
        const auto found = fields.find(field);
        return found != fields.end() ? found->second : none;
    }
    std::string One(const std::string& field) const { return All(field).empty() ? "" : All(field).front(); }
    bool Has(const std::string& field) const { return fields.count(field) != 0; }
};
void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

std::vector<Scenario> LoadCatalogue() {
    std::ifstream file(ZAN_CATALOGUE);
    std::vector<Scenario> scenarios;
    Scenario current;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] == '#') continue;
        if (line.empty()) {
            if (!current.name.empty()) scenarios.push_back(current);
            current = Scenario{};
            continue;
        }
        const std::size_t colon = line.find(": ");
        const std::string field = line.substr(0, colon), value = colon == std::string::npos ? "" : line.substr(colon + 2);
        if (field == "scenario") current.name = value;
        if (field == "before" || field == "rename") current.steps.emplace_back(field, value);
        current.fields[field].push_back(value);
    }
    if (!current.name.empty()) scenarios.push_back(current);
    return scenarios;
}

std::vector<Scenario> NativeScenarios() {
    std::vector<Scenario> played;
    for (const Scenario& s : LoadCatalogue()) {
        if (s.One("players").find("native") != std::string::npos) played.push_back(s);
    }
    return played;
}

// The OEM INF copies tools/provision.sh writes with "oem".
void PutOemCopies(sim::Machine& m) {
    const auto crlf = [](std::string text) {
        std::string out;
        for (char c : text) {
            if (c == '\n') out += '\r';
            out += c;
        }
        return out;
    };
    m.PutFile(kInf + "oem10.inf",
              crlf("[Version]\nSignature=\"$WINDOWS NT$\"\nClass=System\n[Manufacturer]\n%ZAN%=ZAN\n[ZAN]\n"
                   "%BaseDevice%=ZANBase_Install,PCI\\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E\n[Strings]\nZAN=\"ZAN\"\n"
                   "BaseDevice=\"ZAN 7350-21x Base Device\"\n"));
    m.PutFile(kInf + "oem11.inf", crlf("[Version]\nSignature=\"$WINDOWS NT$\"\n; Family ID only\nPCI\\VEN_1D9E&DEV_0B52\n"));
    m.PutFile(kInf + "oem12.inf", crlf("[Version]\nSignature=\"$WINDOWS NT$\"\n[ZAN]\n"
                                       "%BaseDevice%=ZANBase_Install,PCI\\VEN_1D9E&DEV_0B52&\nSUBSYS_0B531D9E\n"));
    std::string utf16 = "\xff\xfe";
    for (char c : crlf("[Version]\nSignature=\"$WINDOWS NT$\"\n[ZAN]\n"
                       "%BaseDevice%=ZANBase_Install,PCI\\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    m.PutFile(kInf + "oem13.inf", utf16);
    m.PutFile(kInf + "oem14.inf", crlf("[Version]\nSignature=\"$WINDOWS NT$\"\nClass=MultiFunction\n[ZAN]\n"
                                       "%Card%=ZAN4Port_Install,PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10\n"));
    m.PutFile(kInf + "oem15.inf", crlf("[Version]\nSignature=\"$WINDOWS NT$\"\nClass=Ports\n[Other]\n"
                                       "%Port%=Other_Install,PCI\\VEN_8086&DEV_1C3D\n"));
    for (int n : {10, 11, 12, 13, 15}) {
        m.PutFile(kInf + "oem" + std::to_string(n) + ".pnf",
                  "Wine PNF header\r\nC:\\windows\\inf\\oem" + std::to_string(n) + ".inf");
    }
}

// The machine a scenario's words name, as tools/provision.sh and posmachine make it.
void Provision(sim::Machine& m, const std::string& words) {
    std::istringstream in(words);
    std::set<std::string> word{std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
    const bool noInterface = word.count("nointerface") != 0;
    std::string ports;
    if (word.count("full4") || word.count("nobase")) ports = "CDEF";
    if (word.count("full1")) ports = "C";
    if (word.count("full4") || word.count("full1")) m.AddDevice(BaseDevice());
    if (word.count("decoys")) {
        for (const char* description : {"ZAN 7350-21x Base Device 2", "ZAN 7350-21x Base"}) {
            sim::Device decoy = BaseDevice(std::string("ROOT\\ZAN_0DECOY\\") + description);
            decoy.properties[SPDRP_DEVICEDESC] = sim::Sz(description);
            decoy.properties[SPDRP_HARDWAREID] = sim::MultiSz({"ZANDECOY\\DESCRIPTION"});
            m.AddDevice(decoy);
        }
    }
    if (!ports.empty() || word.count("card2")) m.AddDevice(Card());
    if (word.count("card2")) m.AddDevice(Card("PCI\\VEN_1D9E&DEV_0B54\\CARD1"));
    for (char letter : ports) {
        sim::Device port = Port(letter);
        if (noInterface) port.interfaces.clear();
        m.AddDevice(port);
    }
    if (word.count("oem")) PutOemCopies(m);
    if (word.count("locked")) m.HoldMutexElsewhere(kRunLockName);
    if (word.count("console")) m.standardOutput = sim::Machine::StandardOutput::Console;
}

class ScenarioTest : public MachineTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(ScenarioTest, EndsAsTheCatalogueSays) {
    const Scenario& s = GetParam();
    PutTableInfs();
    machine().standardOutput = sim::Machine::StandardOutput::File;
    Provision(machine(), s.One("machine"));
    // The runs before it, and the renaming by hand, in the catalogue's order.
    for (const auto& [field, value] : s.steps) {
        if (field == "before") {
            ResetDeviceTable();
            ASSERT_EQ(RunWholeProgram(value), 0) << "before: " << value;
        } else {
            machine().SetValue(ParamsKey(kPorts[value[0] - 'C'].instanceId), "PortName", sim::Sz(value.substr(2)));
        }
    }
    for (const std::string& spelled : s.All("fault")) {
        std::istringstream fault(spelled);
        std::string operation, fails, with, at, call;
        DWORD code = 0;
        fault >> operation >> fails >> with >> std::setbase(0) >> code >> at >> call;
        if (call == "call") {
            int n = 0;
            fault >> n;
            machine().FailOnCall(operation, n, code);
        } else {
            machine().FailAlways(operation, code);
        }
    }
    // old-marker: left by an earlier run.
    for (const std::string& marker : s.All("old-marker")) machine().PutFile(std::string(kWin) + "\\" + marker);
    // no-key: the port's "Device Parameters" key deleted by hand.
    if (s.Has("no-key")) machine().DeleteKey(ParamsKey(kPorts[s.One("no-key")[0] - 'C'].instanceId));
    // update: the driver updates made before the run, passed over.
    const std::size_t updatesBefore = machine().DriverUpdates().size();
    // box: only this run's boxes.
    markersAtBoxes.clear();
    ResetDeviceTable();
    machine().ClearTrace();
    const std::size_t linesBefore = Timeline().size();
    const std::size_t written = machine().StandardOutputText().size();
    const std::string stateBefore = machine().StateText();

    const int exitCode = RunWholeProgram(s.One("run"));
    machine().ClearFaults();

    EXPECT_EQ(std::to_string(exitCode), s.One("exit"));
    if (s.Has("markers")) {
        std::string markers;
        for (const std::string& marker : Markers()) markers += (markers.empty() ? "" : " ") + marker;
        EXPECT_EQ(markers.empty() ? "none" : markers, s.One("markers"));
    }
    if (s.Has("output")) {
        const std::string output = machine().StandardOutputText().substr(written);
        EXPECT_EQ(output, s.One("output") == "none" ? "" : s.One("output") + "\r\n");
    }
    if (s.Has("status")) {
        Lines shown;
        const Lines timeline = Timeline();
        for (std::size_t i = linesBefore; i < timeline.size(); ++i)
            if (timeline[i].rfind("sleep ", 0) != 0) shown.push_back(timeline[i]);
        std::size_t at = 0;
        for (const std::string& line : s.All("status")) {
            while (at < shown.size() && shown[at] != line) ++at;
            EXPECT_LT(at, shown.size()) << "status line missing or out of order: " << line;
        }
        EXPECT_TRUE(!shown.empty() && shown.back() == s.All("status").back()) << "the last status line";
    }
    const Lines trace = TraceAsLogged();
    for (const std::string& line : s.All("trace"))
        EXPECT_NE(std::find(trace.begin(), trace.end(), line), trace.end()) << "trace lacks: " << line;
    for (const std::string& port : s.All("port")) {
        const PortDevice& device = kPorts[port[0] - 'C'];
        const std::string name = port.substr(2);
        const auto portName = machine().GetValue(ParamsKey(device.instanceId), "PortName");
        const sim::Device* found = machine().FindDevice(device.instanceId);
        ASSERT_NE(found, nullptr) << port;
        const auto friendly = found->properties.find(SPDRP_FRIENDLYNAME);
        if (name == "none") {
            EXPECT_FALSE(portName.has_value()) << port;
            EXPECT_EQ(friendly, found->properties.end()) << port;
        } else {
            EXPECT_EQ(portName ? sim::SzText(*portName) : "<none>", name) << port;
            EXPECT_EQ(friendly != found->properties.end() ? sim::SzText(friendly->second) : "<none>",
                      std::string("Serial Port ") + port[0] + "(" + name + ")");
        }
    }
    for (const std::string& file : s.All("kept")) EXPECT_TRUE(machine().FileExists(kInf + file)) << file;
    for (const std::string& file : s.All("gone")) EXPECT_FALSE(machine().FileExists(kInf + file)) << file;
    if (s.One("unchanged") == "yes") EXPECT_EQ(machine().StateText(), stateBefore) << "the run changed the machine";
    if (s.Has("log-last")) {
        const std::string run = s.One("run");
        const std::string path = run.substr(run.find("/LOG=") + 5);
        const Lines log = LogTexts(machine().ReadWholeFile(path), "3172");
        EXPECT_TRUE(!log.empty() && log.back() == s.One("log-last")) << "the log's last line";
    }
    // no-key: nothing written for the port, its key still missing.
    if (s.Has("no-key")) {
        const PortDevice& port = kPorts[s.One("no-key")[0] - 'C'];
        EXPECT_FALSE(machine().KeyExists(ParamsKey(port.instanceId))) << port.instanceId;
        EXPECT_EQ(machine().FindDevice(port.instanceId)->properties.count(SPDRP_FRIENDLYNAME), 0u) << port.instanceId;
    }
    // box: the one box the run showed, while no marker was there; or none.
    if (s.Has("box")) {
        const bool none = s.One("box") == "none";
        EXPECT_EQ(Boxes(), none ? std::vector<Box>{} : std::vector<Box>{ErrorBox(s.One("box"))});
        EXPECT_EQ(markersAtBoxes, std::vector<Lines>(none ? 0 : 1)) << "a marker was there while the box was";
    }
    // port-name-only: the port name written, no friendly name.
    for (const std::string& port : s.All("port-name-only")) {
        const PortDevice& device = kPorts[port[0] - 'C'];
        const auto portName = machine().GetValue(ParamsKey(device.instanceId), "PortName");
        EXPECT_EQ(portName ? sim::SzText(*portName) : "<none>", port.substr(2)) << port;
        EXPECT_EQ(machine().FindDevice(device.instanceId)->properties.count(SPDRP_FRIENDLYNAME), 0u) << port;
    }
    // update: every driver update the run asked for, in order.
    if (s.Has("update")) {
        Lines updates;
        const auto calls = machine().DriverUpdates();
        for (std::size_t i = updatesBefore; i < calls.size(); ++i)
            updates.push_back(calls[i].hardwareId + " from " + calls[i].infPath.substr(calls[i].infPath.find('\\', 3) + 1));
        EXPECT_EQ(updates, s.All("update"));
    }
    // device: a device gone, there without a driver, or with the driver of that INF.
    for (const std::string& line : s.All("device")) {
        const std::size_t space = line.rfind(' ');
        const std::string description = line.substr(0, space), driver = line.substr(space + 1);
        std::string found = "gone";
        for (const sim::Device& device : machine().Devices()) {
            const auto desc = device.properties.find(SPDRP_DEVICEDESC);
            if (desc == device.properties.end() || sim::SzText(desc->second) != description) continue;
            found = device.driverInf.empty() ? "none" : device.driverInf.substr(device.driverInf.rfind('\\') + 1);
        }
        EXPECT_EQ(found, driver) << description;
    }
}

// Every scenario says who plays it, and why a player is left out.
TEST(Catalogue, EveryScenarioNamesItsPlayersAndWhyOneIsLeftOut) {
    const auto scenarios = LoadCatalogue();
    EXPECT_GT(scenarios.size(), 10u);
    std::set<std::string> names;
    for (const Scenario& s : scenarios) {
        EXPECT_TRUE(names.insert(s.name).second) << "two scenarios named " << s.name;
        const std::string players = s.One("players");
        EXPECT_FALSE(players.empty()) << s.name;
        if (players.find("wine") == std::string::npos) EXPECT_TRUE(s.Has("not-wine")) << s.name;
        if (players.find("native") == std::string::npos) EXPECT_TRUE(s.Has("not-native")) << s.name;
        EXPECT_TRUE(s.Has("run") && s.Has("exit")) << s.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ScenarioTest, ::testing::ValuesIn(NativeScenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                             std::string name;
                             for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

}  // namespace
