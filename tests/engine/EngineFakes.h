// Recording stand-ins for the progress display and the log, and helpers
// that build trees and run the engine's two passes, for the engine tests.
#pragma once

#include <windows.h>

#include "engine/EngineSinks.h"
#include "engine/FileOperations.h"
#include "engine/FileTreeSetting.h"
#include "engine/SourceWalk.h"
#include "common/Raii.h"
#include "TestSupport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sorvane::test {

struct LogRow {
    std::wstring path;
    ItemStatus status;
    DWORD error;
    bool errorRow;    // a failure shown with its system error alone
    ItemReason reason = kReasonNone;
    std::wstring detail = {}; // the first name the reason speaks of
};

class RecordingLog : public ILogSink {
public:
    void WriteOutcome(const wchar_t* path, const Outcome& outcome) override
    {
        const bool errorRow = outcome.reason == kReasonNone &&
                              (outcome.status == kStatusFailed || outcome.status == kStatusFolderFailed);
        rows.push_back({path, outcome.status, outcome.error, errorRow, outcome.reason,
                        outcome.first ? outcome.first : L""});
    }
    size_t countReason(ItemReason reason) const
    {
        size_t n = 0;
        for (const auto& row : rows) n += row.reason == reason;
        return n;
    }
    size_t count(ItemStatus status) const
    {
        size_t n = 0;
        for (const auto& row : rows) n += row.status == status;
        return n;
    }
    const LogRow* find(const std::wstring& pathEnd) const
    {
        for (const auto& row : rows) {
            if (row.path.size() >= pathEnd.size() &&
                row.path.compare(row.path.size() - pathEnd.size(), pathEnd.size(), pathEnd) == 0) {
                return &row;
            }
        }
        return nullptr;
    }
    std::vector<LogRow> rows;
};

// Records what the engine shows; `onUpdate` runs on every counter refresh
// (with duringCopy) and may set the run's cancel flag.
class RecordingProgress : public IProgressSink {
public:
    void SetFolderText(const wchar_t* text) override { folders.emplace_back(text); }
    void SetFileText(const wchar_t* text) override
    {
        files.emplace_back(text);
        if (onFileText) onFileText(files.back());
    }
    void UpdateCounters(bool duringCopy) override
    {
        if (duringCopy) ++copyUpdates;
        else ++updates;
        if (onUpdate) onUpdate(duringCopy);
    }
    std::vector<std::wstring> folders;
    std::vector<std::wstring> files;
    size_t updates = 0;
    size_t copyUpdates = 0;
    std::function<void(bool)> onUpdate;
    // Runs when the engine shows the name of the file it is about to handle.
    std::function<void(const std::wstring&)> onFileText;
};

// Settings for one run with recording sinks attached.
struct EngineRun {
    explicit EngineRun(uint32_t kind)
    {
        settings.operation = kind;
        settings.setPatterns(L"*.*");
        settings.progress = &progress;
        settings.log = &log;
    }
    void counting()
    {
        settings.operation |= kCountingPassFlag;
        processSourceList(settings);
        settings.operation &= ~kCountingPassFlag;
    }
    void executing() { processSourceList(settings); }
    void both()
    {
        counting();
        executing();
    }
    FILE_TREE_SETTING settings;
    RecordingProgress progress;
    RecordingLog log;
};

// "PARENT\;a;b;" from a folder and names.
inline std::wstring sourceList(const std::wstring& parent, const std::vector<std::wstring>& names)
{
    std::wstring list = parent + L"\\;";
    for (const auto& name : names) list += name + L";";
    return list;
}

inline FILETIME fileTimeOf(int year, int month, int day, int hour = 12)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    FILETIME ft;
    ::SystemTimeToFileTime(&st, &ft);
    return ft;
}

inline bool setWriteTime(const std::wstring& path, const FILETIME& time)
{
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::SetFileTime(file, nullptr, nullptr, &time) != 0;
    ::CloseHandle(file);
    return ok;
}

inline DWORD attributesOf(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }
inline bool isReadOnly(const std::wstring& path)
{
    const DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}
inline bool makeReadOnly(const std::wstring& path)
{
    return ::SetFileAttributesW(path.c_str(), attributesOf(path) | FILE_ATTRIBUTE_READONLY) != 0;
}

// Content that tells files apart and shows truncation.
inline std::string contentFor(const std::wstring& name, size_t size)
{
    std::string bytes(size, '\0');
    uint32_t state = 2166136261u;
    for (wchar_t c : name) state = (state ^ static_cast<uint32_t>(c)) * 16777619u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

// Files named "~sorvane-*.tmp" below a folder (left-over temporary copies).
inline size_t countTemporaries(const std::wstring& folder)
{
    size_t n = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) n += countTemporaries(folder + L"\\" + name);
        else if (name.rfind(L"~sorvane-", 0) == 0) ++n;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return n;
}

// A folder on another volume than the Windows temp folder (C:): a fresh
// folder under Z:\dev\shm, a tmpfs, so that moves there really copy.
class OtherVolumeFolder {
public:
    OtherVolumeFolder();
    ~OtherVolumeFolder();
    OtherVolumeFolder(const OtherVolumeFolder&) = delete;
    OtherVolumeFolder& operator=(const OtherVolumeFolder&) = delete;
    bool valid() const { return !path_.empty(); }
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Runs a Linux program given by its Z: path (Wine starts Unix programs so).
// True when it exited with 0, or when it started and Wine gives no way to
// wait for it: the caller then looks for its effect.
bool runUnix(const std::wstring& program, std::wstring commandLine);

// A Unix shell kept running for a test, for the many small things only
// the Unix side can make (names that differ only by case, symbolic links):
// one command line at a time, each waited for, without starting a program
// from Windows each time (which costs some 30 ms under Wine and cannot be
// waited for). It reads its commands from a named pipe of the file system
// and answers with their exit status on another.
class UnixShell {
public:
    UnixShell();
    ~UnixShell();
    UnixShell(const UnixShell&) = delete;
    UnixShell& operator=(const UnixShell&) = delete;
    bool ready() const { return commands_ && answers_; }
    // Runs `command` (one line, no newline) and returns its exit status, or
    // -1 when the shell is not there.
    int run(const std::string& command);

private:
    std::string folder_; // Unix path of the folder with the two pipes
    UniqueFile commands_;
    UniqueFile answers_;
};

// Puts `text` in single quotes for the Unix shell.
std::string shellQuoted(const std::string& text);

// The Linux path of a Windows path (through Wine's own conversion), or
// empty when there is none.
std::string unixPathOf(const std::wstring& windowsPath);

// Removes a Unix symbolic link (Wine shows one to a folder as a reparse
// point) with the Linux `rm`, and waits until it is gone. Call it while
// what the link leads to still exists: Wine sees the link through it.
void removeUnixLink(const std::wstring& link);

// A drive letter of its own for a test: a link in the prefix's dosdevices
// folder onto an existing Linux folder, made with `ln`. Letters are tried
// from `firstLetter` downwards; a letter counts as ours only when its root
// is then the very folder asked for (another test program may map letters
// at the same time). Removed again at the end.
class MappedDrive {
public:
    explicit MappedDrive(const std::string& unixFolder, wchar_t firstLetter = L'y');
    ~MappedDrive();
    MappedDrive(const MappedDrive&) = delete;
    MappedDrive& operator=(const MappedDrive&) = delete;
    bool ready() const { return ready_; }
    wchar_t letter() const { return letter_; }
    std::wstring root() const { return std::wstring(1, letter_) + L":\\"; }

private:
    wchar_t letter_ = 0;
    std::wstring link_;
    bool ready_ = false;
};

// A share of its own for a test: "\\<server>\share" reaches an existing
// Linux folder through the link "dosdevices/unc/<server>/share" of the
// prefix. The server's name is new for every share (process, time and a
// counter), so a link that a killed run left behind is never met by a later
// one. Removed again at the end.
class MappedShare {
public:
    explicit MappedShare(const std::string& unixFolder);
    ~MappedShare();
    MappedShare(const MappedShare&) = delete;
    MappedShare& operator=(const MappedShare&) = delete;
    bool ready() const { return ready_; }
    const std::wstring& root() const { return root_; } // "\\<server>\share"

private:
    std::wstring serverFolder_; // the prefix's dosdevices/unc/<server>, a Linux path
    std::wstring root_;
    bool ready_ = false;
};

// A fresh Linux folder with a drive letter of its own mapped onto it
// (under /tmp, or under `unixBase`), both removed at the end.
class TestDrive {
public:
    explicit TestDrive(const std::string& unixBase = "/tmp", wchar_t firstLetter = L'y');
    ~TestDrive();
    TestDrive(const TestDrive&) = delete;
    TestDrive& operator=(const TestDrive&) = delete;
    bool ready() const { return drive_ && drive_->ready(); }
    std::wstring root() const { return drive_ ? drive_->root() : std::wstring(); }
    // The folder by its Z: path.
    const std::wstring& folder() const { return folder_; }

private:
    std::wstring folder_;
    std::unique_ptr<MappedDrive> drive_;
};

// A copy routine that behaves as Windows' CopyFileExW does where Wine's
// does not: it reports every 64 KB chunk to the progress routine and stops,
// deleting its partial target, when the routine or the cancel flag says so.
// With `failAfterBytes` set, it instead stops after that many bytes leaving
// the partial target behind and fails, as a fault halfway would.
BOOL WINAPI chunkedCopyFileEx(LPCWSTR source, LPCWSTR target, LPPROGRESS_ROUTINE progress, LPVOID data,
                              LPBOOL cancel, DWORD flags);
extern uint64_t g_chunkedCopyFailAfterBytes; // 0: never
extern size_t g_chunkedCopyCalls;

// Installs routines for the lifetime of the object.
class RoutineOverride {
public:
    explicit RoutineOverride(FileCopyRoutines routines) : routines_(routines) { overrideCopyRoutines(&routines_); }
    ~RoutineOverride() { overrideCopyRoutines(nullptr); }
    RoutineOverride(const RoutineOverride&) = delete;
    RoutineOverride& operator=(const RoutineOverride&) = delete;

private:
    FileCopyRoutines routines_;
};

} // namespace sorvane::test
