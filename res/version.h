// The program's version, in the one place it is defined: the version record
// of both programs, the log file's first line and the name of the shipped zip
// (tools/dist.sh) take it from here.
#pragma once

#define ZAN_FILE_VERSION 1, 0, 0, 1
#define ZAN_FILE_VERSION_TEXT "1.0.0.1"
#define ZAN_PRODUCT_VERSION_TEXT "1.0.0.2"
