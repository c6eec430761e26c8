#include "installer/operation_runner.h"

#include "installer/install_sequence.h"
#include "installer/status_board.h"
#include "installer/uninstall_sequence.h"
#include "platform/handles.h"
#include "platform/trace.h"

#include <atomic>

std::string g_windowsDir;

namespace {

constexpr const char kUninstallError[] = "An error was encountered while uninstalling the drivers.";
constexpr const char kInstallError[] = "An error was encountered while installing the drivers.";

std::atomic<RunOutcome> g_lastOutcome{RunOutcome::NotRun};

// The error box waits for a person, also in a silent run.
void ReportFailure(const char* text) { plat::MessageBoxA(nullptr, text, kErrorCaption, MB_OK); }

RunOutcome RunRequestedOperation(const std::string& cmdLine) {
    const Operation operation = ChooseOperation(cmdLine);
    const char* errorText = operation == Operation::Uninstall ? kUninstallError : kInstallError;

    // Without the Windows directory the markers and INF paths would be
    // relative to wherever the process happens to run: refuse instead.
    if (g_windowsDir.empty()) {
        if (operation == Operation::None) return RunOutcome::NotRun;
        Trace("--> Windows directory not available");
        ReportFailure(errorText);
        return RunOutcome::Failed;
    }

    DeleteMarkers(g_windowsDir);

    bool succeeded = false;
    switch (operation) {
    case Operation::None:
        return RunOutcome::NotRun;
    case Operation::Uninstall:
        succeeded = RemoveInstalledDrivers();
        break;
    case Operation::Install:
        succeeded = InstallDrivers(cmdLine);
        break;
    }

    if (!succeeded) {
        ReportFailure(errorText);
        CreateMarker(g_windowsDir, kFailMarker);
        return RunOutcome::Failed;
    }
    CreateMarker(g_windowsDir, kSuccessMarker);
    return RunOutcome::Succeeded;
}

}  // namespace

void DeleteMarkers(const std::string& windowsDir) {
    plat::DeleteFileA((windowsDir + "\\" + kSuccessMarker).c_str());
    plat::DeleteFileA((windowsDir + "\\" + kFailMarker).c_str());
}

// An empty file whose name tells the calling script how the run ended.
void CreateMarker(const std::string& windowsDir, const char* name) {
    const std::string path = windowsDir + "\\" + name;
    plat::File marker(plat::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!marker) {
        TraceF("--> Error creating marker file : %08lxh",
               static_cast<unsigned long>(plat::GetLastError()));
    }
}

Operation ChooseOperation(const std::string& cmdLine) {
    // "UNINSTALL" first: it contains "INSTALL".
    if (cmdLine.find("UNINSTALL") != std::string::npos) return Operation::Uninstall;
    if (cmdLine.find("INSTALL") != std::string::npos) return Operation::Install;
    return Operation::None;
}

DWORD WINAPI InstallerThreadProc(LPVOID cmdLine) {
    g_status.SetRunning(true);
    const RunOutcome outcome = RunRequestedOperation(*static_cast<const std::string*>(cmdLine));
    g_lastOutcome.store(outcome);
    g_status.SetRunning(false);
    return 0;
}

RunOutcome LastRunOutcome() { return g_lastOutcome.load(); }
