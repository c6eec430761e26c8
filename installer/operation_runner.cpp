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
std::atomic<bool> g_lastRestartNeeded{false};

// The error box waits for a person, also in a silent run; an unattended run
// shows none and writes its marker at once.
void ReportFailure(const RunOptions& options, const char* text) {
    if (!options.unattended) plat::MessageBoxA(nullptr, text, kErrorCaption, MB_OK);
}

RunOutcome RunRequestedOperation(const RunOptions& options, bool* restartNeeded) {
    const Operation operation = options.operation;
    const char* errorText = operation == Operation::Uninstall ? kUninstallError : kInstallError;

    // Without the Windows directory the markers and INF paths would be
    // relative to wherever the process happens to run: refuse instead.
    if (g_windowsDir.empty()) {
        if (operation == Operation::None) return RunOutcome::NotRun;
        Trace("--> Windows directory not available");
        ReportFailure(options, errorText);
        return RunOutcome::Failed;
    }

    DeleteMarkers(g_windowsDir);

    // Where a person is present the system's own restart prompt is right, so
    // only an unattended run asks and reports the need itself.
    bool* const restart = options.unattended ? restartNeeded : nullptr;
    bool succeeded = false;
    switch (operation) {
    case Operation::None:
        return RunOutcome::NotRun;
    case Operation::Uninstall:
        succeeded = RemoveInstalledDrivers(restart);
        break;
    case Operation::Install:
        succeeded = InstallDrivers(options, restart);
        break;
    }

    if (!succeeded) {
        ReportFailure(options, errorText);
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

DWORD WINAPI InstallerThreadProc(LPVOID options) {
    g_status.SetRunning(true);
    bool restartNeeded = false;
    const RunOutcome outcome = RunRequestedOperation(*static_cast<const RunOptions*>(options), &restartNeeded);
    g_lastRestartNeeded.store(restartNeeded);
    g_lastOutcome.store(outcome);
    g_status.SetRunning(false);
    return 0;
}

RunOutcome LastRunOutcome() { return g_lastOutcome.load(); }

bool LastRunNeedsRestart() { return g_lastRestartNeeded.load(); }
