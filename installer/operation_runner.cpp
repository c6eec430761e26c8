#include "installer/operation_runner.h"

#include "installer/install_sequence.h"
#include "installer/status_board.h"
#include "installer/uninstall_sequence.h"
#include "installer/windows_folder.h"
#include "platform/handles.h"
#include "platform/trace.h"

namespace {

constexpr const char kUninstallError[] = "An error was encountered while uninstalling the drivers.";
constexpr const char kInstallError[] = "An error was encountered while installing the drivers.";

RunOutcome RunRequestedOperation(const OperationChoices& options, bool* restartNeeded) {
    const Operation operation = options.operation;
    const char* errorText = operation == Operation::Uninstall ? kUninstallError : kInstallError;

    // Without the Windows directory the markers and INF paths would be
    // relative to wherever the process happens to run: refuse instead.
    if (g_windowsDir.empty()) {
        if (operation == Operation::None) return RunOutcome::NotRun;
        Trace("--> Windows directory not available");
        return ReportFailedRun(nullptr, errorText, MB_OK, options.unattended, g_windowsDir);
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

    if (!succeeded) return ReportFailedRun(nullptr, errorText, MB_OK, options.unattended, g_windowsDir);
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

// The error box waits for a person, also in a silent run; an unattended run
// shows none and writes its marker at once.
RunOutcome ReportFailedRun(HWND owner, const char* text, UINT boxStyle, bool unattended,
                           const std::string& windowsDir) {
    if (!unattended) plat::MessageBoxA(owner, text, kErrorCaption, boxStyle);
    if (!windowsDir.empty()) CreateMarker(windowsDir, kFailMarker);
    return RunOutcome::Failed;
}

DWORD WINAPI InstallerThreadProc(LPVOID run) {
    WorkerRun& worker = *static_cast<WorkerRun*>(run);
    g_status.SetRunning(true);
    bool restartNeeded = false;
    worker.outcome = RunRequestedOperation(*worker.choices, &restartNeeded);
    worker.restartNeeded = restartNeeded;
    g_status.SetRunning(false);
    return 0;
}
