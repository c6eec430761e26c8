#include "ui/installer_app.h"

#include "installer/operation_runner.h"
#include "installer/status_board.h"
#include "platform/trace.h"
#include "platform/win32/system_dll.h"
#include "ui/progress_dlg.h"
#include "ui/wizard_dismisser.h"
#include "ui/wow64_handover.h"
#include "ui/worker_run.h"

CZANLumivaleKioskScannerandMSRDriverInstallerApp theApp;

plat::ThreadHandle g_hDismisserThread;
DWORD g_dwDismisserThreadId = 0;

namespace {

// InitCommonControls, with comctl32 loaded from the system directory.
void InitCommonControlsFromSystem() {
    if (auto init = plat::win32::SystemFunction<decltype(&::InitCommonControls)>("comctl32.dll",
                                                                                 "InitCommonControls"))
        init();
}

}  // namespace

BOOL CZANLumivaleKioskScannerandMSRDriverInstallerApp::InitInstance() {
#ifndef _WIN64
    // On 64-bit Windows the 64-bit program does the whole run: no window, no
    // dismisser and no marker of this process's own.
    if (const std::optional<int> exitCode = HandOverOnWow64(m_lpCmdLine)) {
        m_exitCode = *exitCode;
        return FALSE;
    }
#endif
    InitCommonControlsFromSystem();
    CWinApp::InitInstance();

    CZANLumivaleKioskScannerandMSRDriverInstallerDlg dlg;
    m_pMainWnd = &dlg;
    dlg.m_strCmdLine = m_lpCmdLine;

    g_hDismisserThread = plat::ThreadHandle(
        ::CreateThread(nullptr, 0, HardwareWizardDismisser, nullptr, 0, &g_dwDismisserThreadId));
    if (!g_hDismisserThread)  // the run goes on; the system's wizards then wait for a person
        Trace("The hardware wizard dismisser could not be started\n");

    if (dlg.DoModal() == -1) ReportStartFailure(nullptr, plat::GetLastError());

    // The dismisser keeps running until the process ends.
    g_hDismisserThread.reset();
    m_pMainWnd = nullptr;

    m_exitCode = ProcessExitCode(dlg.WorkerStarted(), g_status, LastRunOutcome());
    return FALSE;
}

int CZANLumivaleKioskScannerandMSRDriverInstallerApp::ExitInstance() { return m_exitCode; }
