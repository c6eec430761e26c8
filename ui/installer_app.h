// The application object: starts the hardware wizard dismisser, runs the
// progress window modally and gives the process exit code.
#pragma once

#include "installer/run_options.h"
#include "platform/handles.h"
#include "ui/framework.h"

class CZANLumivaleKioskScannerandMSRDriverInstallerApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // Read once from the command line at start-up.
    RunOptions m_options;
    int m_exitCode = 1;
};

extern CZANLumivaleKioskScannerandMSRDriverInstallerApp theApp;

// The dismisser thread; it runs until the process ends.
extern plat::ThreadHandle g_hDismisserThread;
extern DWORD g_dwDismisserThreadId;
