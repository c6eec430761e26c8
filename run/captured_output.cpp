#include "run/captured_output.h"

HANDLE CapturedOutput() {
    const HANDLE output = plat::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return nullptr;
    const DWORD type = plat::GetFileType(output);
    return type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK ? output : nullptr;
}

void WriteCapturedLine(const std::string& line) {
    const HANDLE output = CapturedOutput();
    if (output == nullptr) return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    plat::WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
