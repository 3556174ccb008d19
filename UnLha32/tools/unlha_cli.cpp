// Runs one UnLha32.dll command from the command line:
//   unlha_cli <path of UnLha32.dll> <command...>
// The words after the library path are joined with blanks into the command
// (quote names with blanks for the library as it expects them). Prints the
// library's message and exits with its result (0: success).
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: unlha_cli UnLha32.dll command...\n");
        return 2;
    }
    HMODULE lib = LoadLibraryA(argv[1]);
    if (!lib) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 2;
    }
    using UnlhaFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
    auto fn = reinterpret_cast<UnlhaFn>(reinterpret_cast<void*>(GetProcAddress(lib, "Unlha")));
    if (!fn) {
        FreeLibrary(lib);
        return 2;
    }
    std::string cmd;
    for (int i = 2; i < argc; ++i) {
        if (i > 2) cmd += ' ';
        cmd += argv[i];
    }
    char out[1024] = {};
    int rc = fn(nullptr, cmd.c_str(), out, sizeof out);
    if (out[0]) std::printf("%s\n", out);
    FreeLibrary(lib);
    return rc == 0 ? 0 : 1;
}
