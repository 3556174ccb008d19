#include "EngineFakes.h"

#include "common/Raii.h"

#include "engine/FileIdentity.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>

namespace sorvane::test {

uint64_t g_chunkedCopyFailAfterBytes = 0;
size_t g_chunkedCopyCalls = 0;

OtherVolumeFolder::OtherVolumeFolder()
{
    const DWORD shm = ::GetFileAttributesW(L"Z:\\dev\\shm");
    if (shm == INVALID_FILE_ATTRIBUTES || !(shm & FILE_ATTRIBUTE_DIRECTORY)) return;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring name = L"Z:\\dev\\shm\\" + uniqueScratchName(L"sorvane-test");
        if (::CreateDirectoryW(name.c_str(), nullptr)) {
            path_ = name;
            return;
        }
    }
}

OtherVolumeFolder::~OtherVolumeFolder()
{
    if (!path_.empty()) removeTree(path_);
}

bool runUnix(const std::wstring& program, std::wstring commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return false;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    // Wine hands out no waitable handle for a Unix program: the caller then
    // looks for its effect itself.
    const DWORD waited = ::WaitForSingleObject(process.get(), 30000);
    if (waited == WAIT_FAILED) return true;
    if (waited != WAIT_OBJECT_0) return false;
    DWORD code = 1;
    return ::GetExitCodeProcess(process.get(), &code) && code == 0;
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

UnixShell::UnixShell()
{
    // The name carries the process's start time beside its id: Wine gives a
    // process id again once enough processes have ended, and a shell of an
    // earlier test process may still be removing its folder.
    std::wstring folder;
    for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
        const std::wstring name = L"Z:\\tmp\\" + uniqueScratchName(L"sorvane-shell");
        if (::CreateDirectoryW(name.c_str(), nullptr)) folder = name;
    }
    if (folder.empty()) {
        std::fprintf(stderr, "the Unix shell's folder could not be made in Z:\\tmp (error %lu)\n", ::GetLastError());
        return;
    }
    folder_ = unixPathOf(folder);
    if (folder_.empty()) return;
    const std::wstring commands = folder + L"\\commands";
    const std::wstring answers = folder + L"\\answers";
    const std::wstring unixFolder(folder_.begin(), folder_.end());
    // The shell makes both pipes and opens them for reading and writing, so
    // that neither end waits for the other to open, and then says it is
    // ready. It keeps none of this process's output (ctest waits for
    // whoever holds it), and ends by itself when no command came for five
    // minutes: a test that died leaves no shell.
    std::wstring script = L"bash -c \"exec </dev/null >/dev/null 2>&1; mkfifo " + unixFolder + L"/commands " +
                          unixFolder + L"/answers; exec 3<>" + unixFolder + L"/commands 4<>" + unixFolder +
                          L"/answers; touch " + unixFolder +
                          L"/ready; while IFS= read -r -t 300 line <&3; do eval \\\"$line\\\"; echo $? >&4; "
                          L"done; rm -rf " + unixFolder + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(L"Z:\\bin\\bash", script.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        std::fprintf(stderr, "the Unix shell could not be started (error %lu)\n", ::GetLastError());
        return;
    }
    ::CloseHandle(info.hProcess);
    ::CloseHandle(info.hThread);
    for (int i = 0; i < 500 && !exists(folder + L"\\ready"); ++i) ::Sleep(10);
    commands_.reset(::CreateFileW(commands.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    answers_.reset(::CreateFileW(answers.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    if (!ready()) {
        std::fprintf(stderr, "the Unix shell's pipes in %s could not be opened (error %lu)\n", folder_.c_str(),
                     ::GetLastError());
    } else if (run("true") != 0) {
        std::fprintf(stderr, "the Unix shell in %s answers no command\n", folder_.c_str());
        commands_.reset();
        answers_.reset();
    }
}

UnixShell::~UnixShell()
{
    if (ready()) {
        const std::string line = "rm -rf " + shellQuoted(folder_) + "; exit\n";
        DWORD written = 0;
        ::WriteFile(commands_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

int UnixShell::run(const std::string& command)
{
    if (!ready()) return -1;
    const std::string line = command + "\n";
    DWORD written = 0;
    if (!::WriteFile(commands_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size()) {
        return -1;
    }
    std::string answer;
    char c = 0;
    DWORD got = 0;
    while (::ReadFile(answers_.get(), &c, 1, &got, nullptr) && got == 1 && c != '\n') answer += c;
    return answer.empty() ? -1 : std::atoi(answer.c_str());
}

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
    // Wine answers through the prefix's drive links ("dosdevices/c:/..."),
    // names no Windows path can carry: the C: drive's own folder instead.
    const std::string link = "/dosdevices/c:";
    const size_t at = result.find(link);
    if (at != std::string::npos && (at + link.size() == result.size() || result[at + link.size()] == '/')) {
        result.replace(at, link.size(), "/drive_c");
    }
    return result;
}

namespace {

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

} // namespace

void removeUnixLink(const std::wstring& link)
{
    const std::string unix = unixPathOf(link);
    if (unix.empty()) return;
    runUnix(L"Z:\\bin\\rm", L"rm -f " + widen(unix));
    for (int i = 0; i < 250 && ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(20);
}

namespace {

bool sameFolder(const std::wstring& a, const std::wstring& b)
{
    FileIdentity first;
    FileIdentity second;
    return readIdentity(a.c_str(), first) && readIdentity(b.c_str(), second) && first.index == second.index &&
           first.volume == second.volume;
}

// The Unix path of the Wine prefix the tests run in ("/path/to/prefix"),
// from what Wine tells its programs; empty when it does not.
std::wstring winePrefixFolder()
{
    wchar_t config[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"WINECONFIGDIR", config, MAX_PATH)) return {};
    std::wstring prefix = config; // "\??\Z:\path\to\prefix"
    if (prefix.rfind(L"\\??\\Z:", 0) != 0) return {};
    prefix.erase(0, 6);
    std::replace(prefix.begin(), prefix.end(), L'\\', L'/');
    return prefix;
}

} // namespace

MappedDrive::MappedDrive(const std::string& unixFolder, wchar_t firstLetter)
{
    const std::wstring prefix = winePrefixFolder();
    if (prefix.empty()) return;
    std::wstring zPath = L"Z:" + widen(unixFolder);
    std::replace(zPath.begin(), zPath.end(), L'/', L'\\');
    for (wchar_t letter = firstLetter; letter >= L'g'; --letter) {
        const std::wstring root = std::wstring(1, letter) + L":\\";
        if (::GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        const std::wstring link = prefix + L"/dosdevices/" + std::wstring(1, letter) + L":";
        // -T: never a link inside an existing one; fails when the name is taken.
        if (!runUnix(L"Z:\\bin\\ln", L"ln -sT " + widen(unixFolder) + L" " + link)) continue;
        for (int i = 0; i < 100 && ::GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(20);
        if (sameFolder(root, zPath)) {
            letter_ = letter;
            link_ = link;
            ready_ = true;
            return;
        }
        // Not the folder (or not yet seen as it): take the link away again
        // rather than leave a letter behind for every later test.
        runUnix(L"Z:\\bin\\rm", L"rm -f " + link);
    }
}

MappedDrive::~MappedDrive()
{
    if (link_.empty()) return;
    runUnix(L"Z:\\bin\\rm", L"rm -f " + link_);
    const std::wstring root = std::wstring(1, letter_) + L":\\";
    for (int i = 0; i < 100 && ::GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(20);
}

MappedShare::MappedShare(const std::string& unixFolder)
{
    static std::atomic<unsigned> counter{0};
    const std::wstring prefix = winePrefixFolder();
    if (prefix.empty()) return;
    const std::wstring server = L"sorvane-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(counter++);
    serverFolder_ = prefix + L"/dosdevices/unc/" + server;
    if (!runUnix(L"Z:\\bin\\mkdir", L"mkdir -p " + serverFolder_) ||
        !runUnix(L"Z:\\bin\\ln", L"ln -sT " + widen(unixFolder) + L" " + serverFolder_ + L"/share")) {
        return;
    }
    root_ = L"\\\\" + server + L"\\share";
    std::wstring zPath = L"Z:" + widen(unixFolder);
    std::replace(zPath.begin(), zPath.end(), L'/', L'\\');
    for (int i = 0; i < 100 && !sameFolder(root_ + L"\\", zPath); ++i) ::Sleep(20);
    ready_ = sameFolder(root_ + L"\\", zPath);
}

MappedShare::~MappedShare()
{
    if (serverFolder_.empty()) return;
    runUnix(L"Z:\\bin\\rm", L"rm -rf " + serverFolder_);
}

TestDrive::TestDrive(const std::string& unixBase, wchar_t firstLetter)
{
    static std::atomic<unsigned> counter{0};
    const std::string unixFolder = unixBase + "/sorvane-drive-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                   std::to_string(::GetTickCount()) + "-" + std::to_string(counter++);
    folder_ = L"Z:" + widen(unixFolder);
    std::replace(folder_.begin(), folder_.end(), L'/', L'\\');
    if (!::CreateDirectoryW(folder_.c_str(), nullptr)) {
        folder_.clear();
        return;
    }
    drive_ = std::make_unique<MappedDrive>(unixFolder, firstLetter);
}

TestDrive::~TestDrive()
{
    drive_.reset();
    if (!folder_.empty()) removeTree(folder_);
}

BOOL WINAPI chunkedCopyFileEx(LPCWSTR source, LPCWSTR target, LPPROGRESS_ROUTINE progress, LPVOID data,
                              LPBOOL cancel, DWORD flags)
{
    ++g_chunkedCopyCalls;
    UniqueFile in(::CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!in) return FALSE;
    LARGE_INTEGER total;
    if (!::GetFileSizeEx(in.get(), &total)) return FALSE;
    const DWORD disposition = (flags & COPY_FILE_FAIL_IF_EXISTS) ? CREATE_NEW : CREATE_ALWAYS;
    UniqueFile out(::CreateFileW(target, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return FALSE;

    auto abandon = [&](DWORD error, bool removePartial) {
        out.reset();
        if (removePartial) ::DeleteFileW(target);
        ::SetLastError(error);
        return FALSE;
    };

    LARGE_INTEGER done = {};
    if (progress) {
        const DWORD answer = progress(total, done, total, done, 1, CALLBACK_STREAM_SWITCH, in.get(), out.get(), data);
        if (answer == PROGRESS_CANCEL) return abandon(ERROR_REQUEST_ABORTED, true);
    }
    static char chunk[65536];
    for (;;) {
        if (cancel && *cancel) return abandon(ERROR_REQUEST_ABORTED, true);
        DWORD got = 0;
        if (!::ReadFile(in.get(), chunk, sizeof(chunk), &got, nullptr)) return abandon(::GetLastError(), true);
        if (got == 0) break;
        if (g_chunkedCopyFailAfterBytes && static_cast<uint64_t>(done.QuadPart) + got > g_chunkedCopyFailAfterBytes) {
            // A fault halfway: part of the data written, the rest never comes.
            DWORD written = 0;
            ::WriteFile(out.get(), chunk, got / 2, &written, nullptr);
            return abandon(ERROR_GEN_FAILURE, false);
        }
        DWORD written = 0;
        if (!::WriteFile(out.get(), chunk, got, &written, nullptr) || written != got) {
            return abandon(::GetLastError(), true);
        }
        done.QuadPart += got;
        if (progress) {
            const DWORD answer =
                progress(total, done, total, done, 1, CALLBACK_CHUNK_FINISHED, in.get(), out.get(), data);
            if (answer == PROGRESS_CANCEL) return abandon(ERROR_REQUEST_ABORTED, true);
        }
    }
    FILETIME created, accessed, written;
    if (::GetFileTime(in.get(), &created, &accessed, &written)) ::SetFileTime(out.get(), &created, &accessed, &written);
    out.reset();
    ::SetFileAttributesW(target, ::GetFileAttributesW(source));
    return TRUE;
}

} // namespace sorvane::test
