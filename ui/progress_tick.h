// The progress window's timer tick, apart from the window: what one tick does
// with the status line and when it closes the window.
#pragma once

#include "installer/status_board.h"

// The status line is read back from the window into a buffer of this size,
// so at most 79 characters of it take part in the comparison.
constexpr int kStatusReadBackSize = 80;

struct ProgressTick {
    enum Action {
        Keep,     // the line shown is the board's line
        SetText,  // show `text`
        Close,    // the worker has ended: close the window, nothing else
    };
    Action action = Keep;
    char text[StatusBoard::kTextSize] = {};
};

// One tick: `shownText` is what the status line held when read back (at most
// kStatusReadBackSize - 1 characters). Ends the window once the board is no
// longer running; otherwise copies the board's line when it differs exactly.
ProgressTick DecideProgressTick(const char* shownText, const StatusBoard& board);
