#include "ArchiveReplacement.h"

#include "../engine/PathUtil.h"

#include <atomic>
#include <cwchar>

namespace sorvane {

namespace {

std::atomic<unsigned> g_counter{0};

unsigned long long processStartTime()
{
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

} // namespace

ArchiveReplacement::ArchiveReplacement(std::wstring archive) : archive_(std::move(archive)) {}

ArchiveReplacement::~ArchiveReplacement()
{
    // Whatever the library left under the temporary name is no archive of
    // the user's.
    if (!temporary_.empty()) ::DeleteFileW(temporary_.c_str());
}

bool ArchiveReplacement::prepare()
{
    const wchar_t* separator = lastSeparator(archive_.c_str());
    const std::wstring folder =
        separator ? archive_.substr(0, static_cast<size_t>(separator - archive_.c_str()) + 1) : std::wstring();
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[64];
        std::swprintf(name, 64, L"~sorvane-%lx-%llx-%x.tmp", static_cast<unsigned long>(::GetCurrentProcessId()),
                      processStartTime(), g_counter.fetch_add(1));
        const std::wstring candidate = folder + name;
        if (::GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES &&
            ::GetLastError() == ERROR_FILE_NOT_FOUND) {
            temporary_ = candidate;
            return true;
        }
    }
    return false;
}

bool ArchiveReplacement::commit(DWORD& error)
{
    error = 0;
    if (temporary_.empty()) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    if (!::MoveFileExW(temporary_.c_str(), archive_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
        return false;
    }
    temporary_.clear();
    return true;
}

} // namespace sorvane
