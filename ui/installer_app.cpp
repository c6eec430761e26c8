#include "ui/installer_app.h"

#include "installer/operation_runner.h"
#include "installer/status_board.h"
#include "platform/trace.h"
#include "platform/win32/system_dll.h"
#include "ui/progress_dlg.h"
#include "ui/wizard_dismisser.h"
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
    m_run.emplace(m_lpCmdLine);  // the choices, read once
    m_run->OpenLog();
#ifndef _WIN64
    // On 64-bit Windows the 64-bit program does the whole run: no window, no
    // dismisser, and no lock while it runs.
    if (m_run->HandedOverToNativeProgram()) {
        m_exitCode = m_run->Finish();
        return FALSE;
    }
#endif
    // Nothing is shown or touched before the lock is held.
    if (m_run->TakeLock()) RunProgressWindow();
    m_exitCode = m_run->Finish();
    return FALSE;
}

void CZANLumivaleKioskScannerandMSRDriverInstallerApp::RunProgressWindow() {
    InitCommonControlsFromSystem();
    CWinApp::InitInstance();

    CZANLumivaleKioskScannerandMSRDriverInstallerDlg dlg;
    m_pMainWnd = &dlg;
    dlg.m_pOptions = &m_run->Options();

    g_hDismisserThread = plat::ThreadHandle(
        ::CreateThread(nullptr, 0, HardwareWizardDismisser, nullptr, 0, &g_dwDismisserThreadId));
    if (!g_hDismisserThread)  // the run goes on; the system's wizards then wait for a person
        Trace("The hardware wizard dismisser could not be started\n");

    if (dlg.DoModal() == -1) ReportStartFailure(nullptr, plat::GetLastError(), m_run->Options());

    // The dismisser keeps running until the process ends.
    g_hDismisserThread.reset();
    m_pMainWnd = nullptr;

    m_run->WorkerEnded(dlg.WorkerStarted(), g_status, LastRunOutcome(), LastRunNeedsRestart());
}

int CZANLumivaleKioskScannerandMSRDriverInstallerApp::ExitInstance() { return m_exitCode; }
