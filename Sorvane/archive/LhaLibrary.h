// The binding to the LZH archiver library UnLha32.dll: loaded by name when a
// compress operation starts, its version checked, its command entry called,
// and unloaded when the operation ends.
#pragma once

#include <windows.h>

namespace sorvane {

class LhaLibrary {
public:
    static constexpr WORD kMinimumVersion = 65;

    LhaLibrary();
    ~LhaLibrary();
    LhaLibrary(const LhaLibrary&) = delete;
    LhaLibrary& operator=(const LhaLibrary&) = delete;

    // Frees and loads the library again; true when one is loaded.
    bool Reload();
    // The library's version, 0 when it or its entry is missing.
    WORD GetVersion();
    // The library's result for one command; non-zero also when the library
    // or its entry is missing.
    int Call(HWND window, const char* command, char* output, DWORD outputSize);
    // Loads the library (asking the user to install it when missing) and
    // checks its version; on failure `message` (may be null) says why.
    bool Acquire(wchar_t* message, size_t messageCapacity);

    bool loaded() const noexcept { return module_ != nullptr; }

    // Where the library is looked for: the program's own folder, then the
    // system folder, never the current folder. Tests point it elsewhere.
    static void setSearchFolder(const wchar_t* folder);

    // What a missing library shows before it is looked for once more: none
    // (null) until a program sets one; the main program sets the download
    // dialog, tests a recorder that never blocks.
    using DownloadPrompt = void (*)();
    static DownloadPrompt setDownloadPrompt(DownloadPrompt prompt);

private:
    void load();
    void unload() noexcept;

    using VersionFn = WORD(WINAPI*)();
    using CommandFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);

    HMODULE module_ = nullptr;
    VersionFn version_ = nullptr;
    CommandFn command_ = nullptr;
};

// The download dialog (224) with its two links; modal, no owner.
void showDownloadDialog();

} // namespace sorvane
