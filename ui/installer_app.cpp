#include "ui/installer_app.h"

#include "platform/win32/system_dll.h"
#include "run/worker_run.h"
#include "ui/progress_dlg.h"
#include "ui/wizard_dismisser.h"

#include <commctrl.h>

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

HANDLE CreateDismisserThread(ThreadProc proc, LPVOID param) {
    return ::CreateThread(nullptr, 0, proc, param, 0, &g_dwDismisserThreadId);
}

}  // namespace

BOOL CZANLumivaleKioskScannerandMSRDriverInstallerApp::InitInstance() {
    m_run.emplace(m_lpCmdLine);  // the choices, read once
    // The 32-bit program hands over to the 64-bit one on 64-bit Windows.
    constexpr bool kThirtyTwoBitProgram = sizeof(void*) == 4;
    m_exitCode = RunProgram(*m_run, kThirtyTwoBitProgram, [this](ProgramRun& run) { return RunProgressWindow(run); });
    return FALSE;
}

bool CZANLumivaleKioskScannerandMSRDriverInstallerApp::RunProgressWindow(ProgramRun& run) {
    InitCommonControlsFromSystem();
    CWinApp::InitInstance();

    CZANLumivaleKioskScannerandMSRDriverInstallerDlg dlg;
    m_pMainWnd = &dlg;
    dlg.m_pWorker = &run.Worker();

    g_hDismisserThread = plat::ThreadHandle(StartDismisser(CreateDismisserThread));

    if (dlg.DoModal() == -1) ReportStartFailure(nullptr, plat::GetLastError(), run.Options().unattended);

    // The dismisser keeps running until the process ends.
    g_hDismisserThread.reset();
    m_pMainWnd = nullptr;
    return dlg.WorkerStarted();
}

int CZANLumivaleKioskScannerandMSRDriverInstallerApp::ExitInstance() { return m_exitCode; }
