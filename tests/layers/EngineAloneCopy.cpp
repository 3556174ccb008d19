// A console program that links the engine library and nothing of the user
// interface, and copies a tree with it: both passes, the way the programs
// run them. It makes a tree of folders and files in a scratch folder,
// copies it, and compares every file of the copy with its source.
// Exit code 0 when the copy is whole, 1 with a line that says what is not.
#include "engine/EngineSinks.h"
#include "engine/FileTreeSetting.h"
#include "engine/PatternMatch.h"
#include "engine/SourceWalk.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

// Counts the outcomes; the engine needs no more to run.
class CountingLog : public ILogSink {
public:
    void WriteOutcome(const wchar_t* path, const Outcome& outcome) override
    {
        if (outcome.status == kStatusSuccess || outcome.status == kStatusVerified) {
            ++done;
        } else {
            ++other;
            std::fwprintf(stderr, L"outcome %d reason %d error %lu: %ls\n", outcome.status, outcome.reason,
                          outcome.error, path);
        }
    }
    unsigned done = 0, other = 0;
};

std::wstring scratchFolder()
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"sorvane-test-engine-alone-" + std::to_wstring(::GetCurrentProcessId());
}

bool writeFile(const std::wstring& path, const std::string& content)
{
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == content.size();
}

bool readFile(const std::wstring& path, std::string& content)
{
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    content.clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got != 0) content.append(buffer, got);
    ::CloseHandle(file);
    return ok;
}

void removeTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeTree(path);
            else ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

int fail(const wchar_t* what, const std::wstring& path)
{
    std::fwprintf(stderr, L"FAILED: %ls %ls\n", what, path.c_str());
    return 1;
}

int run(const std::wstring& scratch)
{
    const std::wstring source = scratch + L"\\tree";
    const std::wstring target = scratch + L"\\copy";
    if (!::CreateDirectoryW(scratch.c_str(), nullptr) || !::CreateDirectoryW(source.c_str(), nullptr)) {
        return fail(L"cannot make", source);
    }
    // Three levels, files of several sizes (one past the engine's own copy
    // loop's limit), an empty folder and an empty file.
    std::vector<std::wstring> files;
    const wchar_t* folders[] = {L"", L"\\a", L"\\a\\b", L"\\a\\b\\c", L"\\d", L"\\empty"};
    for (const wchar_t* folder : folders) {
        if (*folder && !::CreateDirectoryW((source + folder).c_str(), nullptr)) return fail(L"cannot make", source + folder);
    }
    const size_t sizes[] = {0, 1, 4095, 4096, 65537, 5u << 20};
    int n = 0;
    for (const wchar_t* folder : folders) {
        if (std::wstring(folder) == L"\\empty") continue;
        for (size_t size : sizes) {
            const std::wstring relative = std::wstring(folder) + L"\\file" + std::to_wstring(n++) + L".bin";
            std::string content(size, '\0');
            for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 131 + n * 7) & 0xFF);
            if (!writeFile(source + relative, content)) return fail(L"cannot write", source + relative);
            files.push_back(relative);
        }
    }

    FILE_TREE_SETTING settings;
    CountingLog log;
    settings.operation = kOperationCopy;
    settings.log = &log;
    settings.includeSubfolders = 1;
    settings.setPatterns(L"*.*");
    upperCasePatternList(settings.patterns);
    settings.setSources(source.c_str());
    settings.setTarget(target.c_str());
    settings.operation |= kCountingPassFlag;
    processSourceList(settings);
    settings.operation &= ~kCountingPassFlag;
    if (settings.totalFiles != files.size()) return fail(L"the counting pass miscounted", source);
    processSourceList(settings);

    if (log.other != 0 || log.done != files.size() || settings.completedFiles != files.size()) {
        std::fwprintf(stderr, L"done %u, other outcomes %u, completed %lu of %zu\n", log.done, log.other,
                      static_cast<unsigned long>(settings.completedFiles), files.size());
        return fail(L"not every file was copied from", source);
    }
    // A list of one folder selects its content: the copy lands in the target.
    for (const std::wstring& relative : files) {
        std::string original, copy;
        if (!readFile(source + relative, original)) return fail(L"cannot read", source + relative);
        if (!readFile(target + relative, copy)) return fail(L"missing in the copy:", relative);
        if (copy != original) return fail(L"differs in the copy:", relative);
    }
    std::wprintf(L"copied %zu files in %zu folders with the engine alone\n", files.size(), std::size(folders));
    return 0;
}

} // namespace

int wmain()
{
    const std::wstring scratch = scratchFolder();
    const int result = run(scratch);
    removeTree(scratch);
    return result;
}
