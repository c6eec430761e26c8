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
    std::vector<std::pair<std::string, std::string>> lines;  // field and value, in the catalogue's order

    // A field's values, which may share a line, split by " | ".
    Lines All(const std::string& field) const {
        Lines values;
        for (const auto& [named, value] : lines) {
            if (named != field) continue;
            std::string rest = value;
            for (std::size_t bar; (bar = rest.find(" | ")) != std::string::npos; rest.erase(0, bar + 3))
                values.push_back(rest.substr(0, bar));
            values.push_back(rest);
        }
        return values;
    }
    std::string One(const std::string& field) const { return Has(field) ? All(field).front() : ""; }
    bool Has(const std::string& field) const { return !All(field).empty(); }
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
        current.lines.emplace_back(field, value);
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
void PutProvisionedOemCopies(sim::Machine& m) {
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
    if (word.count("oem")) PutProvisionedOemCopies(m);
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
    for (const auto& [field, value] : s.lines) {
        if (field == "before") {
            ResetDeviceTable();
            ASSERT_EQ(RunWholeProgram(value), 0) << "before: " << value;
        } else if (field == "rename") {
            machine().SetValue(ParamsKey(kPorts[value[0] - 'C'].instanceId), "PortName", sim::Sz(value.substr(2)));
        }
    }
    // file: the files in the way, arranged in the catalogue's order; a held
    // file stays open, as another program would hold it, until the run ends.
    std::vector<plat::File> held;
    // What a read-only file or a link's target holds (a folder: its files'
    // names and bytes), to be so after the run.
    const auto contents = [&](const std::string& path) -> std::optional<std::string> {
        if (!std::filesystem::is_directory(machine().HostPath(path))) return machine().ReadWholeFile(path);
        std::string all;
        for (const std::string& name : machine().ListFolder(path))
            all += name + ":" + machine().ReadWholeFile(path + "\\" + name).value_or("<folder>") + "\n";
        return all;
    };
    std::map<std::string, std::optional<std::string>> asItWas;
    for (const std::string& file : s.All("file")) {
        // The path is the rest of the line, but for a link or a copy: its path and its target.
        std::istringstream words(file);
        std::string state, path, target;
        words >> state >> std::ws;
        if (state.find("link") != std::string::npos || state == "copy-of") words >> path >> target;
        else std::getline(words, path);
        if (state == "plain" || ((state == "read-only" || state == "held" || state == "held-read") &&
                                 !machine().FileExists(path)))
            machine().PutFile(path);
        if (state == "read-only") {
            machine().MakeUnwritable(path);
            machine().MakeUndeletable(path);
        }
        if (state == "held" || state == "held-read") {
            held.emplace_back(plat::CreateFileA(path.c_str(), GENERIC_READ, state == "held" ? 0 : FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(held.back()) << file;
        }
        if (state == "folder") {
            plat::DeleteFileA(path.c_str());
            machine().PutFolder(path);
        }
        if (state == "hard-link") machine().AddHardLink(path, target);
        if (state == "link") machine().AddSymbolicLink(path, target);
        if (state == "copy-of") machine().PutFile(path, machine().ReadWholeFile(target).value_or(""));
        if (!target.empty() && state != "copy-of") asItWas[target] = contents(target);
        if (state == "read-only") asItWas[path] = contents(path);
    }
    // links: "followed", as Wine 8 follows every link.
    if (s.One("links") == "followed") machine().linksAlwaysFollowed = true;
    // restart: the system says a restart is needed after each driver update, or each device's removal.
    if (s.One("restart") == "driver update") machine().driverUpdateNeedsRestart = true;
    if (s.One("restart") == "removal") {
        for (sim::Device device : machine().Devices()) {
            device.installFlagsOnRemoval = DI_NEEDREBOOT;
            machine().AddDevice(device);
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
    // old-marker, put: files an earlier run or the system left.
    for (const std::string& marker : s.All("old-marker")) machine().PutFile(std::string(kWin) + "\\" + marker);
    for (const std::string& file : s.All("put")) machine().PutFile(kInf + file);
    // question: the answers queued, and at each box the status lines written so far and the markers.
    Lines questions;
    std::vector<int> answers;
    for (const std::string& q : s.All("question")) {
        if (q == "none") continue;
        questions.push_back(q);
        answers.push_back(q.find(" answered yes") != std::string::npos ? IDYES : IDNO);
    }
    machine().QueueAnswers(answers);
    std::vector<std::pair<std::size_t, Lines>> atBoxes;
    machine().onMessageBox = [&](const sim::MessageBoxCall&) { atBoxes.emplace_back(Timeline().size(), Markers()); };
    const std::size_t boxesBefore = machine().MessageBoxes().size();
    const auto infFiles = [this] {
        Lines files;
        for (const std::string& sub : {std::string(), std::string("1port\\"), std::string("4port\\")})
            for (const std::string& name : machine().ListFolder(kInf + sub)) files.push_back(sub + name);
        return files;
    };
    const Lines infBefore = infFiles();
    const auto describe = [](const sim::Device& d) {
        const auto desc = d.properties.find(SPDRP_DEVICEDESC);
        return desc != d.properties.end() ? sim::SzText(desc->second) : d.instanceId;
    };
    // untouched: each device's text (properties, driver, presence, port name) by description.
    const auto deviceText = [&](const std::string& description) {
        std::string text;
        for (const sim::Device& d : machine().Devices()) {
            if (describe(d) != description) continue;
            text += d.instanceId + (d.present ? " present" : "") + " driver " + d.driverInf + "\n";
            for (const auto& [property, value] : d.properties)
                text += std::to_string(property) + " " + std::string(value.bytes.begin(), value.bytes.end()) + "\n";
            const auto name = machine().GetValue(ParamsKey(d.instanceId), "PortName");
            if (name) text += "PortName " + sim::SzText(*name) + "\n";
        }
        return text;
    };
    // no-key: the port's "Device Parameters" key deleted by hand.
    if (s.Has("no-key")) machine().DeleteKey(ParamsKey(kPorts[s.One("no-key")[0] - 'C'].instanceId));
    std::map<std::string, std::string> untouchedBefore;
    for (const std::string& d : s.All("untouched")) untouchedBefore[d] = deviceText(d);
    // update: the driver updates made before the run, passed over.
    const std::size_t updatesBefore = machine().DriverUpdates().size();
    ResetDeviceTable();
    machine().ClearTrace();
    const std::size_t linesBefore = Timeline().size();
    const std::size_t writesBefore = machine().RegWrites().size();
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
    // status, status-held: these lines in this order among those the run
    // wrote; the last status line, or status-closing, the run's last.
    Lines shown;
    const Lines timeline = Timeline();
    for (std::size_t i = linesBefore; i < timeline.size(); ++i)
        if (timeline[i].rfind("sleep ", 0) != 0) shown.push_back(timeline[i]);
    for (const char* field : {"status", "status-held"}) {
        std::size_t at = 0;
        for (const std::string& line : s.All(field)) {
            while (at < shown.size() && shown[at] != line) ++at;
            EXPECT_LT(at++, shown.size()) << "status line missing or out of order: " << line;
        }
    }
    for (const char* field : {"status", "status-closing"}) {
        if (s.Has(field)) EXPECT_TRUE(!shown.empty() && shown.back() == s.All(field).back()) << "the last status line";
    }
    const Lines trace = TraceAsLogged();
    for (const std::string& line : s.All("trace"))
        EXPECT_NE(std::find(trace.begin(), trace.end(), line), trace.end()) << "trace lacks: " << line;
    // port, port-name-only: the port's name and its friendly name, the name alone, or neither;
    // each with its NUL and nothing after it. The run's only registry writes are port names
    // (COM3 to COM6), REG_SZ with the NUL counted; where the row names every port, one for
    // each port it names.
    const auto text = [](const sim::Value& value) { return std::to_string(value.type) + " " + value.bytes; };
    std::size_t named = 0;
    std::set<char> letters;
    for (const char* field : {"port", "port-name-only"}) {
        for (const std::string& port : s.All(field)) {
            const PortDevice& device = kPorts[port[0] - 'C'];
            const std::string name = port.substr(2);
            const auto portName = machine().GetValue(ParamsKey(device.instanceId), "PortName");
            const sim::Device* found = machine().FindDevice(device.instanceId);
            ASSERT_NE(found, nullptr) << port;
            const auto friendly = found->properties.find(SPDRP_FRIENDLYNAME);
            named += name != "none";
            letters.insert(port[0]);
            EXPECT_EQ(portName ? text(*portName) : "<none>", name == "none" ? "<none>" : text(sim::Sz(name))) << port;
            const bool nameOnly = name == "none" || std::string(field) == "port-name-only";
            EXPECT_EQ(friendly != found->properties.end() ? text(friendly->second) : "<none>",
                      nameOnly ? "<none>" : text(sim::Sz(std::string("Serial Port ") + port[0] + "(" + name + ")")))
                << port;
        }
    }
    std::size_t portNameWrites = 0;
    const auto writes = machine().RegWrites();
    for (auto write = writes.begin() + writesBefore; write != writes.end(); ++write, ++portNameWrites) {
        EXPECT_EQ(std::make_tuple(write->valueName, write->type, write->count),
                  std::make_tuple(std::string("PortName"), DWORD{REG_SZ}, DWORD{5}))
            << "registry write";
    }
    if (letters.size() == 4) EXPECT_EQ(portNameWrites, named) << "PortName writes";
    for (const std::string& file : s.All("kept")) EXPECT_TRUE(machine().FileExists(kInf + file)) << file;
    for (const std::string& file : s.All("gone")) EXPECT_FALSE(machine().FileExists(kInf + file)) << file;
    if (s.One("unchanged") == "yes") EXPECT_EQ(machine().StateText(), stateBefore) << "the run changed the machine";
    // The file the run's /LOG= names: to a closing quote, or without one to a space.
    const auto logPath = [&] {
        std::string path = s.One("run").substr(s.One("run").find("/LOG=") + 5);
        if (!path.empty() && path[0] == '"') path.erase(0, 1);
        return path.substr(0, path.find(path.find('"') != std::string::npos ? '"' : ' '));
    };
    if (s.Has("log-last")) {
        const Lines log = LogTexts(machine().ReadWholeFile(logPath()), "3172");
        EXPECT_TRUE(!log.empty() && log.back() == s.One("log-last")) << "the log's last line";
    }
    // question: the boxes of the run are these Yes/No questions, in order, each
    // asked before any status line and with no marker present.
    if (s.Has("question")) {
        const auto boxes = machine().MessageBoxes();
        ASSERT_EQ(boxes.size() - boxesBefore, questions.size()) << "questions asked";
        for (std::size_t i = 0; i < questions.size(); ++i) {
            const sim::MessageBoxCall& box = boxes[boxesBefore + i];
            std::string asked = box.caption + " answered " + (box.answer == IDYES ? "yes" : "no");
            if (questions[i].find(", asking ") != std::string::npos) asked += ", asking " + box.text;
            for (std::size_t at; (at = asked.find('\n')) != std::string::npos;) asked.replace(at, 1, "\\n");
            EXPECT_EQ(asked, questions[i]);
            EXPECT_EQ(box.type, static_cast<UINT>(MB_YESNO)) << box.caption;
            EXPECT_EQ(atBoxes[i].first, linesBefore) << "a status line before a question";
            EXPECT_TRUE(atBoxes[i].second.empty()) << "a marker while a question waits";
        }
    }
    // trace-all: the whole trace in order; the window's first line is the Wine player's alone.
    if (s.Has("trace-all")) {
        const Lines& wanted = s.All("trace-all");
        EXPECT_EQ(trace.size(), wanted.size()) << "trace lines";
        for (std::size_t i = 0; i < std::min(trace.size(), wanted.size()); ++i)
            if (wanted[i] != "(any one line)") {
                EXPECT_EQ(trace[i], wanted[i]) << "trace line " << i + 1;
            }
    }
    // driver: the INF each device's driver was installed from, or none; every update forced.
    for (const std::string& driver : s.All("driver")) {
        const std::size_t colon = driver.rfind(": ");
        const std::string description = driver.substr(0, colon), inf = driver.substr(colon + 2);
        std::string got = "gone";
        for (const sim::Device& d : machine().Devices()) {
            if (describe(d) == description) got = d.driverInf.empty() ? "none" : d.driverInf;
        }
        EXPECT_EQ(got, inf == "none" || inf == "gone" ? inf : kInf + inf) << description;
    }
    if (s.Has("driver")) {
        for (const auto& call : machine().DriverUpdates()) EXPECT_EQ(call.flags, INSTALLFLAG_FORCE) << call.hardwareId;
    }
    // devices: exactly these devices are left, by description.
    if (s.Has("devices")) {
        Lines left, wanted = s.All("devices");
        for (const sim::Device& d : machine().Devices()) left.push_back(describe(d));
        std::sort(left.begin(), left.end());
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(left, wanted);
    }
    // untouched: these devices are as they were.
    for (const auto& [description, before] : untouchedBefore) {
        EXPECT_FALSE(before.empty()) << "no device " << description;
        EXPECT_EQ(deviceText(description), before) << description << " changed";
    }
    // inf-unchanged: the INF folder holds the same files.
    if (s.One("inf-unchanged") == "yes") {
        EXPECT_EQ(infFiles(), infBefore);
    }
    // package-removal: the OEM copies handed to the driver package removal, in order.
    if (s.Has("package-removal")) {
        Lines handed;
        std::string copy;
        for (const std::string& line : trace) {
            if (line.rfind("oem", 0) == 0) copy = line;
            if (line == "----> Uninstalling Driver Package") handed.push_back(copy);
        }
        EXPECT_EQ(handed, s.All("package-removal"));
        EXPECT_EQ(machine().Calls("SetupUninstallOEMInfA"), static_cast<int>(handed.size()));
    }
    // file: a folder in the way is still one; a read-only file and what a link leads to are as they were.
    held.clear();
    for (const std::string& file : s.All("file")) {
        if (file.rfind("folder ", 0) == 0)
            EXPECT_TRUE(std::filesystem::is_directory(machine().HostPath(file.substr(7)))) << file;
    }
    for (const auto& [path, before] : asItWas) EXPECT_EQ(contents(path), before) << "changed: " << path;
    // log: lines the log the run's /LOG= names holds.
    for (const std::string& line : s.All("log")) {
        const Lines log = LogTexts(machine().ReadWholeFile(logPath()), "3172");
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << "the log lacks: " << line;
    }
    // boxes: how many message boxes the run showed.
    if (s.Has("boxes")) EXPECT_EQ(std::to_string(machine().MessageBoxes().size() - boxesBefore), s.One("boxes"));
    // no-key: nothing written for the port, its key still missing.
    if (s.Has("no-key")) {
        const PortDevice& port = kPorts[s.One("no-key")[0] - 'C'];
        EXPECT_FALSE(machine().KeyExists(ParamsKey(port.instanceId))) << port.instanceId;
        ASSERT_NE(machine().FindDevice(port.instanceId), nullptr) << port.instanceId;
        EXPECT_EQ(machine().FindDevice(port.instanceId)->properties.count(SPDRP_FRIENDLYNAME), 0u) << port.instanceId;
    }
    // box: the one box the run showed, while no marker was there; or none.
    if (s.Has("box")) {
        const bool none = s.One("box") == "none";
        const std::vector<Box> all = Boxes();
        EXPECT_EQ(std::vector<Box>(all.begin() + boxesBefore, all.end()),
                  none ? std::vector<Box>{} : std::vector<Box>{ErrorBox(s.One("box"))});
        std::vector<Lines> markersAtBox;
        for (const auto& atBox : atBoxes) markersAtBox.push_back(atBox.second);
        EXPECT_EQ(markersAtBox, std::vector<Lines>(none ? 0 : 1)) << "a marker was there while the box was";
    }
    // update: every driver update the run asked for, in order.
    if (s.Has("update")) {
        Lines updates;
        const auto calls = machine().DriverUpdates();
        for (std::size_t i = updatesBefore; i < calls.size(); ++i)
            updates.push_back(calls[i].hardwareId + " from " + calls[i].infPath.substr(calls[i].infPath.find('\\', 3) + 1));
        EXPECT_EQ(updates, s.All("update"));
    }
}

// Every scenario says who plays it, and why a player is left out; it uses
// only the fields the catalogue's header documents (a misspelt one would be
// checked by neither player).
TEST(Catalogue, EveryScenarioNamesItsPlayersAndWhyOneIsLeftOut) {
    const auto scenarios = LoadCatalogue();
    EXPECT_GT(scenarios.size(), 10u);
    std::set<std::string> documented;
    std::ifstream file(ZAN_CATALOGUE);
    for (std::string line; std::getline(file, line) && line.rfind("# ---", 0) != 0;) {
        if (line.size() > 4 && line.rfind("#   ", 0) == 0 && line[4] != ' ') documented.insert(line.substr(4, line.find(' ', 4) - 4));
    }
    std::set<std::string> names;
    for (const Scenario& s : scenarios) {
        for (const auto& [field, value] : s.lines) EXPECT_TRUE(documented.count(field)) << s.name << ": " << field;
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
