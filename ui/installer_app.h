// The application object: runs the program's one run (run/program_run.h)
// with the progress window as its window step, and gives the process exit
// code.
//
// Floors, top down: ui/ (this one: the application object, the progress
// window, its tick, the wizard dismisser) -> run/ -> installer/ -> device/ ->
// platform/.
#pragma once

#include "platform/handles.h"
#include "run/exit_codes.h"
#include "run/program_run.h"
#include "ui/framework.h"

#include <optional>

class CZANLumivaleKioskScannerandMSRDriverInstallerApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // The dismisser, the progress window and the worker; whether the worker
    // was started.
    bool RunProgressWindow(ProgramRun& run);

    // Lives until the process ends: the worker reads its choices.
    std::optional<ProgramRun> m_run;
    int m_exitCode = kExitFailed;
};

extern CZANLumivaleKioskScannerandMSRDriverInstallerApp theApp;

// The dismisser thread; it runs until the process ends.
extern plat::ThreadHandle g_hDismisserThread;
extern DWORD g_dwDismisserThreadId;
