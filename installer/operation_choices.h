// What the worker is asked to do: the operation and the choices the run read
// from the command line (run/run_options.h reads them).
#pragma once

enum class Operation { None, Install, Uninstall };

struct OperationChoices {
    Operation operation = Operation::None;
    // The choices come from the command line, not from two questions:
    // "SILENT" or "UNATTENDED".
    bool silent = false;
    // "UNATTENDED": no message box of any kind, the restart need is collected
    // and reported through the exit code.
    bool unattended = false;
    // "BASE_DEVICE" and "MAROVEL_SERIAL"; they count only in a silent run.
    bool installBase = false;
    bool multiPort = false;
    // "CHECK": no operation is run; the machine is only read, to tell whether
    // it is as the operation (an install unless "UNINSTALL") leaves it.
    bool check = false;
};
