// The program's version, shared by the version record and the log file.
#pragma once

#define ZAN_FILE_VERSION 1, 0, 0, 1
#define ZAN_FILE_VERSION_TEXT "1.0.0.1"
#define ZAN_PRODUCT_VERSION_TEXT "1.0.0.2"
