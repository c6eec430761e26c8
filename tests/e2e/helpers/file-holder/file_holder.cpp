// file-holder: keeps files open the way another program would, so that the
// installer meets files it cannot open or cannot delete.
//
//   file-holder <seconds> <none|read|mutex> <path> [<none|read|mutex> <path>]...
//
// Opens each path for reading with the sharing given before it ("none": no
// other program may open it at all; "read": others may read it, but not
// write or delete it), or, with "mutex", opens the named mutex of that name
// without taking it (so that it outlives a run that dies holding it), and prints "held <path>" for each, or "failed <path>
// <error>" and ends with exit code 1. Once all are held it prints "holding",
// keeps them open for <seconds> or until it is ended, closes them and ends
// with exit code 0.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: file-holder <seconds> <none|read|mutex> <path>...\n");
        return 2;
    }
    const DWORD seconds = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
    std::vector<HANDLE> held;
    for (int i = 2; i + 1 < argc; i += 2) {
        DWORD share;
        if (std::strcmp(argv[i], "mutex") == 0) {
            held.push_back(CreateMutexA(nullptr, FALSE, argv[i + 1]));
            std::printf("held %s\n", argv[i + 1]);
            continue;
        }
        if (std::strcmp(argv[i], "none") == 0) {
            share = 0;
        } else if (std::strcmp(argv[i], "read") == 0) {
            share = FILE_SHARE_READ;
        } else {
            std::fprintf(stderr, "file-holder: unknown sharing \"%s\"\n", argv[i]);
            return 2;
        }
        const char* path = argv[i + 1];
        HANDLE file = CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::printf("failed %s %lu\n", path, GetLastError());
            return 1;
        }
        held.push_back(file);
        std::printf("held %s\n", path);
    }
    std::printf("holding\n");
    std::fflush(stdout);
    Sleep(seconds * 1000);
    for (HANDLE file : held) CloseHandle(file);
    return 0;
}
