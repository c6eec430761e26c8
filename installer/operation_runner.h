// The worker thread: runs the operation the command line asks for and leaves
// the marker file that tells a calling script how the run ended; and how any
// failed run is told.
//
// Floors, top down: ui/ (windows) -> run/ (the run around the window) ->
// installer/ (this one: the device table, the status board, the operation
// runner and its sequences) -> device/ (device setup) -> platform/ (the seam
// to the operating system).
#pragma once

#include "installer/operation_choices.h"
#include "platform/platform.h"

#include <string>

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

// A failed run, told the one way every failure is: an error box with `text`
// and `boxStyle` that waits for a person (none in an unattended run), then
// RESULT.FAIL in `windowsDir` (none when it is empty); the old markers are
// gone by then. Returns RunOutcome::Failed, which the run's log names.
RunOutcome ReportFailedRun(HWND owner, const char* text, UINT boxStyle, bool unattended,
                           const std::string& windowsDir);

// The worker's task and what it hands back to the run: the thread reads
// `choices` for its whole life and fills `outcome` and `restartNeeded` before
// it lowers the board's running flag; the run reads them once it has seen
// the flag down.
//  - outcome: Succeeded after RESULT.SUCCESS, Failed after RESULT.FAIL (or
//    a failure that left no marker), NotRun when no operation was asked for.
//  - restartNeeded: whether the system needs a restart to finish; asked only
//    in an unattended run (the driver updates' restart output, the removed
//    devices' install parameters).
struct WorkerRun {
    const OperationChoices* choices = nullptr;
    RunOutcome outcome = RunOutcome::NotRun;
    bool restartNeeded = false;
};

// Thread entry. `run` points to a WorkerRun that outlives the thread, with
// the Windows directory in g_windowsDir. Always returns 0.
DWORD WINAPI InstallerThreadProc(LPVOID run);
