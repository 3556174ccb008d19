#include "archive/ArchiveReplacement.h"

#include "engine/FileTreeSetting.h"
#include "engine/PathForms.h"
#include "engine/Temporaries.h"

#include <memory>
#include <new>

namespace sorvane {

void sweepArchiveFolder(const std::wstring& archive)
{
    const wchar_t* separator = lastSeparator(archive.c_str());
    if (!separator) return;
    const size_t folderLength = static_cast<size_t>(separator - archive.c_str()) + 1;
    if (folderLength >= kRunPathCapacity) return;
    std::unique_ptr<wchar_t[]> folder(new (std::nothrow) wchar_t[kRunPathCapacity]);
    if (!folder) return;
    boundedCopy(folder.get(), archive.c_str(), folderLength + 1);
    sweepTemporaries(folder.get(), kRunPathCapacity, nullptr);
}

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
        wchar_t name[kTemporaryNameCapacity];
        makeTemporaryName(name);
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
