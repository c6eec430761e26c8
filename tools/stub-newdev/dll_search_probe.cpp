// dll-search-probe.exe NAME: loads the DLL NAME with the process's default
// search order (no hardening) and prints the path it was loaded from, or
// nothing and exit code 1. Tests run it beside a planted DLL to show that a
// program that does not restrict its search would pick that DLL up.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dll-search-probe NAME\n");
        return 2;
    }
    HMODULE module = ::LoadLibraryA(argv[1]);
    if (module == nullptr) return 1;
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(module, path, sizeof(path));
    std::printf("%s\n", path);
    return 0;
}
