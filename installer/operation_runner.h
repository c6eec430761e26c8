// The worker thread: runs the operation the command line asks for and leaves
// the marker file that tells a calling script how the run ended.
#pragma once

#include "installer/run_options.h"
#include "platform/platform.h"

#include <string>

// The Windows directory without a trailing separator, set before the worker starts.
extern std::string g_windowsDir;

enum class RunOutcome { NotRun, Succeeded, Failed };

// The caption of the program's error boxes.
constexpr const char kErrorCaption[] = "ZAN 7350-21X PCI Serial Port and Base Device Driver v1.0";

// The markers in the Windows directory `windowsDir`. DeleteMarkers deletes
// both; one that is absent or cannot be deleted stays as it is. CreateMarker
// creates the empty marker `name`; one that cannot be created is traced
// "--> Error creating marker file : <code>h".
constexpr const char kSuccessMarker[] = "RESULT.SUCCESS";
constexpr const char kFailMarker[] = "RESULT.FAIL";
void DeleteMarkers(const std::string& windowsDir);
void CreateMarker(const std::string& windowsDir, const char* name);

// Thread entry. `options` points to the RunOptions read from the command
// line; they must outlive the thread. Always returns 0.
DWORD WINAPI InstallerThreadProc(LPVOID options);

// How the last InstallerThreadProc ended: Succeeded after RESULT.SUCCESS,
// Failed after RESULT.FAIL (or a failure that left no marker), NotRun when the
// command line asked for no operation. The process exit code follows it.
RunOutcome LastRunOutcome();

// Whether the last InstallerThreadProc learnt that the system needs a restart
// to finish: asked only in an unattended run (the driver updates' restart
// output, the removed devices' install parameters); false in any other.
bool LastRunNeedsRestart();
