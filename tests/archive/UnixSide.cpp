#include "UnixSide.h"

#include "common/Raii.h"
#include "TestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace sorvane::test {

namespace {

std::wstring widen(const std::string& utf8)
{
    const int needed = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (needed <= 1) return {};
    std::wstring out(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], needed);
    out.resize(static_cast<size_t>(needed - 1));
    return out;
}

struct Identity {
    bool known = false;
    DWORD error = 0; // why it is not known
    DWORD volume = 0, high = 0, low = 0;
    // A serial number of 0 is no answer: Wine gives it for a drive letter
    // its mount manager has not taken in yet, which it does in its own time.
    bool operator==(const Identity& other) const
    {
        return known && other.known && (volume == other.volume || volume == 0 || other.volume == 0) &&
               high == other.high && low == other.low;
    }
};

Identity identityOf(const std::wstring& path)
{
    Identity id;
    UniqueFile file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (file && ::GetFileInformationByHandle(file.get(), &info)) {
        id.known = true;
        id.volume = info.dwVolumeSerialNumber;
        id.high = info.nFileIndexHigh;
        id.low = info.nFileIndexLow;
    } else {
        id.error = ::GetLastError();
    }
    return id;
}

std::string describe(const Identity& id)
{
    char text[96];
    if (id.known) std::snprintf(text, sizeof(text), "volume %08lx file %08lx%08lx", id.volume, id.high, id.low);
    else std::snprintf(text, sizeof(text), "unknown (error %lu)", id.error);
    return text;
}

bool waitForRoot(const std::wstring& root, bool present)
{
    for (int i = 0; i < 200; ++i) {
        if ((::GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) == present) return true;
        ::Sleep(25);
    }
    return false;
}

} // namespace

std::string unixPathOf(const std::wstring& windowsPath)
{
    using Convert = char*(CDECL*)(LPCWSTR);
    static const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return {};
    char* unix = convert(windowsPath.c_str());
    if (!unix) return {};
    std::string result = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

bool runShell(const std::string& script, ShellResult& result, DWORD ms)
{
    result = ShellResult();
    TempFolder scratch;
    const std::string folder = unixPathOf(scratch.path());
    if (folder.empty()) return false;
    const std::string body = "cd " + shellQuoted(folder) + " || exit 99\n( " + script + "\n) > out 2>&1\necho $? > rc.part\nmv rc.part rc\n";
    if (!writeBytes(scratch / L"run.sh", body)) return false;
    std::wstring commandLine = L"sh \"" + widen(folder) + L"/run.sh\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return false;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    const std::wstring rc = scratch / L"rc";
    const DWORD start = ::GetTickCount();
    while (!exists(rc)) {
        if (::GetTickCount() - start > ms) return false;
        ::Sleep(10);
    }
    result.exitCode = std::atoi(readBytes(rc).c_str());
    result.output = readBytes(scratch / L"out");
    return true;
}

ScratchDrive::ScratchDrive()
{
    static std::atomic<unsigned> counter{0};
    unixFolder_ = "/tmp/sorvane-compress-drive-" + std::to_string(::GetCurrentProcessId()) + "-" +
                  std::to_string(::GetTickCount()) + "-" + std::to_string(counter++);
    folder_ = L"Z:" + widen(unixFolder_);
    std::replace(folder_.begin(), folder_.end(), L'/', L'\\');
    if (!::CreateDirectoryW(folder_.c_str(), nullptr)) {
        failure_ = "cannot make the folder " + unixFolder_;
        folder_.clear();
        return;
    }
    // Letters the engine's tests do not start from.
    for (wchar_t letter = L'r'; letter >= L'g'; --letter) {
        const std::wstring root = std::wstring(1, letter) + L":\\";
        if (::GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        const std::string name(1, static_cast<char>(letter));
        const std::string link = "${WINEPREFIX:-$HOME/.wine}/dosdevices/" + name + ":";
        ShellResult made;
        // -T: never a link inside an existing one; it fails when the name is taken.
        if (!runShell("ln -sT " + shellQuoted(unixFolder_) + " \"" + link + "\"", made) || made.exitCode != 0) {
            failure_ += "ln for " + name + ": " + made.output;
            continue;
        }
        // The root and the folder are compared as they are seen now that
        // the letter exists: Wine gives a file the volume serial of the
        // drive whose root lies nearest above it, from a list of drives it
        // renews at most once a second, so the folder had the serial of Z:
        // before the link and may have the new letter's after it. A second
        // look covers a renewal between the two reads.
        const bool appeared = waitForRoot(root, true);
        Identity seen, wanted;
        for (int look = 0; appeared && look < 2; ++look) {
            seen = identityOf(root);
            wanted = identityOf(folder_);
            if (seen == wanted) {
                letter_ = letter;
                link_ = link;
                return;
            }
            ::Sleep(1100);
        }
        ShellResult removed;
        runShell("rm -f \"" + link + "\"", removed);
        waitForRoot(root, false);
        failure_ += name + ": is not the folder (" + (appeared ? describe(seen) : "never appeared") + ", the folder " +
                    describe(wanted) + "); ";
    }
    if (failure_.empty()) failure_ = "no spare drive letter";
}

ScratchDrive::~ScratchDrive()
{
    if (letter_) {
        ShellResult removed;
        runShell("rm -f \"" + link_ + "\"", removed);
        waitForRoot(root(), false);
    }
    if (!folder_.empty()) removeTree(folder_);
}

} // namespace sorvane::test
