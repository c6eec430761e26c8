#include "ui/progress_tick.h"

#include <cstring>

ProgressTick DecideProgressTick(const char* shownText, const StatusBoard& board) {
    ProgressTick tick;
    if (!board.IsRunning()) {
        tick.action = ProgressTick::Close;
        return tick;
    }
    board.CopyText(tick.text);
    tick.action = std::strcmp(shownText, tick.text) != 0 ? ProgressTick::SetText : ProgressTick::Keep;
    return tick;
}
