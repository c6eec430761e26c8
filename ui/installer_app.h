// The application object: starts the hardware wizard dismisser, runs the
// progress window modally and gives the process exit code.
#pragma once

#include "ui/framework.h"
#include "ui/thread_handle.h"

class CZANLumivaleKioskScannerandMSRDriverInstallerApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    int m_exitCode = 1;
};

extern CZANLumivaleKioskScannerandMSRDriverInstallerApp theApp;

// The dismisser thread; it runs until the process ends.
extern ThreadHandle g_hDismisserThread;
extern DWORD g_dwDismisserThreadId;
