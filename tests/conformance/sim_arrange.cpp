// The conformance suite against the simulated machine: devices, values and
// files are put straight into it through its test-facing API.
#include "sim/machine.h"
#include "tests/conformance/arrange.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace conformance {
namespace {

class SimArrange : public Arrange {
public:
    // The suite's own output goes to a file, as under Wine.
    SimArrange() {
        sim::TheMachine().Reset();
        sim::TheMachine().standardOutput = sim::Machine::StandardOutput::File;
    }
    ~SimArrange() override { sim::TheMachine().Reset(); }

    std::string Describe() const override { return "the simulated machine (sim/)"; }

    std::string AddDevice(const NewDevice& wanted) override {
        // As a device installer generates root IDs: the name upper-cased, then a
        // four-digit number counting up per name.
        const std::string name = Upper(wanted.name);
        char number[8];
        std::snprintf(number, sizeof number, "%04d", next_[name]++);
        sim::Device device;
        device.instanceId = "ROOT\\" + name + "\\" + number;
        device.classGuid = wanted.setupClass;
        device.present = true;
        if (wanted.comPortInterface) device.interfaces.push_back(kComPortInterface);
        if (!wanted.description.empty()) device.properties[SPDRP_DEVICEDESC] = sim::Sz(wanted.description);
        if (!wanted.hardwareIds.empty()) {
            device.properties[SPDRP_HARDWAREID] =
                wanted.hardwareIdAsSz ? sim::Sz(wanted.hardwareIds.front()) : sim::MultiSz(wanted.hardwareIds);
        }
        sim::TheMachine().AddDevice(device);
        return device.instanceId;
    }

    std::string ScratchFolder() override {
        const std::string folder = std::string(sim::Machine::kWindowsDir) + "\\Temp\\zan-conformance";
        return PutFolder(folder) ? folder : std::string();
    }

    bool PutFolder(const std::string& windowsPath) override {
        sim::TheMachine().PutFolder(windowsPath);
        std::error_code ec;
        return std::filesystem::is_directory(sim::TheMachine().HostPath(windowsPath), ec);
    }

    bool PutFile(const std::string& windowsPath, const std::string& bytes, bool readOnly) override {
        sim::TheMachine().PutFile(windowsPath, bytes);
        if (readOnly) {  // as Windows treats a read-only file: neither written nor deleted
            sim::TheMachine().MakeUnwritable(windowsPath);
            sim::TheMachine().MakeUndeletable(windowsPath);
        }
        return sim::TheMachine().ReadWholeFile(windowsPath) == bytes;
    }

    bool PutHardLink(const std::string& linkPath, const std::string& existingPath) override {
        sim::TheMachine().AddHardLink(linkPath, existingPath);
        return sim::TheMachine().FileExists(linkPath);
    }

    bool PutSymbolicLink(const std::string& linkPath, const std::string& targetPath) override {
        sim::TheMachine().AddSymbolicLink(linkPath, targetPath);
        std::error_code ec;
        return std::filesystem::is_symlink(sim::TheMachine().HostPath(linkPath), ec);
    }

    void RunOnOtherThread(const std::function<void()>& body) override { std::thread(body).join(); }

    bool PutProgram(const std::string& windowsPath) override {
        sim::TheMachine().AddProgram(windowsPath, [](const std::string& commandLine) -> DWORD {
            const std::size_t exit = commandLine.find(" --exit ");
            return exit == std::string::npos ? 0 : static_cast<DWORD>(std::stoul(commandLine.substr(exit + 8)));
        });
        return sim::TheMachine().FileExists(windowsPath);
    }

    bool QueryValue(const std::string& keyPath, const std::string& name, DWORD* type, std::string* bytes) override {
        const std::optional<sim::Value> value = sim::TheMachine().GetValue(keyPath, name);
        if (!value) return false;
        *type = value->type;
        *bytes = value->bytes;
        return true;
    }

    std::string PublishDriverPackage(const std::string& sourceInf) override {
        const std::optional<std::string> bytes = sim::TheMachine().ReadWholeFile(sourceInf);
        if (!bytes) {
            std::printf("   arrange: no INF file at \"%s\"\n", sourceInf.c_str());
            return "";
        }
        const std::string folder = std::string(sim::Machine::kWindowsDir) + "\\INF\\";
        int n = 0;
        while (sim::TheMachine().FileExists(folder + "oem" + std::to_string(n) + ".inf")) ++n;
        const std::string name = "oem" + std::to_string(n) + ".inf";
        sim::TheMachine().PublishDriverPackage(name, *bytes);
        return name;
    }

    bool AsWindowsDocuments() const override { return true; }

    std::string WindowsFolder() override { return sim::Machine::kWindowsDir; }
    long long LocalTimeMs() override {
        return LocalMs(sim::Machine::kLocalTimeAtReset) + static_cast<long long>(sim::TheMachine().NowMs());
    }
    // Another ID than the machine starts with, so that a fixed one is told apart.
    DWORD ProcessId() override { return sim::TheMachine().processId = 5124; }
    HWND PutWindow(const std::string& title) override { return sim::TheMachine().AddWindow(title); }
    std::string LastDebuggerOutput() override {
        const std::vector<std::string> trace = sim::TheMachine().Trace();
        return trace.empty() ? "" : trace.back();
    }
    int Calls(const char* operation) const override { return sim::TheMachine().Calls(operation); }

private:
    std::map<std::string, int> next_;
};

}  // namespace
}  // namespace conformance

int main() {
    conformance::SimArrange arrange;
    return conformance::RunSuite(arrange);
}
