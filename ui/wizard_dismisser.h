// The hardware wizard dismisser: a background thread that answers the
// system's own hardware-installation windows with one keystroke each, so that
// an installation needs nobody at the keyboard.
#pragma once

#include "platform/platform.h"
#include "run/worker_run.h"

// The windows it answers, matched by exact title, and the key each gets.
extern const char kHardwareInstallationTitle[];  // "Hardware Installation": C
extern const char kFoundNewHardwareTitle[];      // "Found New Hardware Wizard": Escape
constexpr WORD kHardwareInstallationKey = 0x43;
constexpr WORD kFoundNewHardwareKey = 0x1B;

// Lookups of one title per cycle (with a 1 ms sleep between two of them) and
// the pause after a window was found.
constexpr int kWindowLookups = 11;
constexpr DWORD kLookupSleepMs = 1;
constexpr DWORD kAnswerPauseMs = 50;

// Looks for a top-level window titled exactly `title`. When one is found it is
// brought to the foreground and, only if it then is the foreground window,
// gets a key-down and a key-up of `virtualKey`; a found window is followed by
// the 50 ms pause whether or not it could be answered. Returns true when the
// keys were sent.
bool AnswerHardwareWindow(const char* title, WORD virtualKey);

// One cycle: "Hardware Installation", then "Found New Hardware Wizard".
void DismissHardwareWizardsOnce();

// Thread entry: cycles for the life of the process; never returns.
DWORD WINAPI HardwareWizardDismisser(LPVOID unused);

// Starts HardwareWizardDismisser on a thread of its own through `start`.
// One that cannot be started is traced and the run goes on without it: the
// system's wizards then wait for a person. Returns the thread, or null.
HANDLE StartDismisser(ThreadStarter start);
