// The Unix side of the machine, as the compress tests need it under Wine:
// shell commands run to their end (the LHA readers lhasa and 7zz, links),
// Unix paths of Windows paths, and a spare drive letter mapped to a folder
// of the test's own.
#pragma once

#include <windows.h>

#include <string>

namespace sorvane::test {

// The Unix path of a Windows path, by Wine's own mapping; empty when Wine
// gives none.
std::string unixPathOf(const std::wstring& windowsPath);
// `text` in single quotes for the shell.
std::string shellQuoted(const std::string& text);

struct ShellResult {
    int exitCode = -1;
    std::string output; // standard output and error
};
// Runs `script` with /bin/sh and waits for its end: Wine starts Unix
// programs detached, so the script leaves its exit code in a file that is
// waited for. False when it did not end within `ms`.
bool runShell(const std::string& script, ShellResult& result, DWORD ms = 120000);

// A fresh Unix folder seen as the root of a spare drive letter, through a
// link in the prefix's dosdevices; both go when the object does.
class ScratchDrive {
public:
    ScratchDrive();
    ~ScratchDrive();
    ScratchDrive(const ScratchDrive&) = delete;
    ScratchDrive& operator=(const ScratchDrive&) = delete;

    bool ready() const noexcept { return letter_ != 0; }
    const std::string& failure() const noexcept { return failure_; } // why it is not ready
    std::wstring root() const { return std::wstring(1, letter_) + L":\\"; }
    const std::wstring& folder() const noexcept { return folder_; } // the same folder through Z:

private:
    wchar_t letter_ = 0;
    std::string unixFolder_;
    std::string link_;
    std::wstring folder_;
    std::string failure_;
};

} // namespace sorvane::test
