// The application object: reads the run's choices, opens its log, takes the
// one-run-at-a-time lock, starts the hardware wizard dismisser, runs the
// progress window modally and gives the process exit code.
#pragma once

#include "platform/handles.h"
#include "ui/framework.h"
#include "ui/program_run.h"

#include <optional>

class CZANLumivaleKioskScannerandMSRDriverInstallerApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // The dismisser, the progress window and the worker.
    void RunProgressWindow();

    // Lives until the process ends: the worker reads its choices.
    std::optional<ProgramRun> m_run;
    int m_exitCode = 1;
};

extern CZANLumivaleKioskScannerandMSRDriverInstallerApp theApp;

// The dismisser thread; it runs until the process ends.
extern plat::ThreadHandle g_hDismisserThread;
extern DWORD g_dwDismisserThreadId;
