// Helpers shared by the test programs: scratch folders, files, recorded
// message boxes and child processes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sorvane::test {

// A fresh folder under the Windows temp folder, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }   // ends without '\'
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// A name no other test process can have chosen, now or in an earlier run:
// "<stem>-<program>-<process id>-<process start time>-<counter>". Wine
// reuses process ids quickly, so the id alone could meet the leftovers of
// a process that had it before.
std::wstring uniqueScratchName(const wchar_t* stem);

void removeTree(const std::wstring& path);
bool writeBytes(const std::wstring& path, const std::string& bytes);
bool writeText(const std::wstring& path, const std::wstring& utf16); // UTF-16LE, no BOM
std::string readBytes(const std::wstring& path);
bool exists(const std::wstring& path);
// The names of the entries of a folder (without "." and ".."), sorted.
std::vector<std::wstring> listFolder(const std::wstring& folder);

// Message boxes recorded instead of shown, while an instance lives.
struct RecordedMessage {
    std::wstring text;
    std::wstring caption;
    UINT flags;
};
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    const std::vector<RecordedMessage>& messages() const;
    void clear();
};

// The folder that holds this test program, ending with '\'.
std::wstring programFolder();
// The folder of the deliverables (build/dist), ending with '\'.
std::wstring distFolder();

// A child process, killed if still running when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder = L"");
    // Exit code, or STILL_ACTIVE when it did not end within `ms`.
    DWORD wait(DWORD ms);
    DWORD id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_ = {};
};

// A visible top-level window of the process with the given class (null:
// any), waited for up to `ms`.
HWND findProcessWindow(DWORD processId, const wchar_t* className, DWORD ms);
std::wstring windowText(HWND window);

// Points `module`'s import of `function` from `dll` at `replacement` while it
// lives. `original()` is the function the module imported before.
class ImportHook {
public:
    ImportHook(HMODULE module, const char* dll, const char* function, const void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;
    bool active() const { return slot_ != nullptr; }
    template <typename F>
    F original() const { return reinterpret_cast<F>(original_); }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// The full paths of the modules a running process has loaded.
std::vector<std::wstring> processModules(DWORD processId);

// The rows of the tables of an HTML page (a report), in order, each as its
// cells' texts as a browser shows them: tags and line breaks dropped,
// "&amp;", "&lt;", "&gt;" and "&quot;" read.
std::vector<std::vector<std::string>> htmlTableRows(const std::string& page);

} // namespace sorvane::test
