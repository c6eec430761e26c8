// The program's standard output where its starter captures it: a detection
// script or a deployment agent reading what a check found.
#pragma once

#include "platform/platform.h"

#include <string>

// The standard output when it is a pipe or a file; null otherwise (a program
// started from the desktop has none, and a console is nobody's capture).
HANDLE CapturedOutput();

// Writes `line` and CR LF there; nothing when the output is not captured.
void WriteCapturedLine(const std::string& line);
