#include "engine/SameFile.h"

#include "common/Raii.h"

#include <cstring>

namespace sorvane {

namespace {

constexpr int kFileIdInfo = 18; // FILE_INFO_BY_HANDLE_CLASS

BOOL WINAPI queryFileIdInfo(HANDLE file, FileIdInformation* out)
{
    return ::GetFileInformationByHandleEx(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileIdInfo), out, sizeof(*out));
}

BOOL WINAPI queryByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* out) { return ::GetFileInformationByHandle(file, out); }

uint64_t fromParts(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

bool equalTimes(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

} // namespace

const IdentityCalls& systemIdentityCalls()
{
    static const IdentityCalls calls = {queryFileIdInfo, queryByHandle};
    return calls;
}

FileFacts readFileFacts(HANDLE file, const IdentityCalls& calls)
{
    FileFacts facts;
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!calls.byHandle(file, &information)) return facts;
    facts.size = fromParts(information.nFileSizeHigh, information.nFileSizeLow);
    facts.lastWrite = information.ftLastWriteTime;
    facts.attributes = information.dwFileAttributes;

    FileIdInformation wide = {};
    if (calls.fileIdInfo && calls.fileIdInfo(file, &wide)) {
        facts.wideId = true;
        facts.volume = wide.volumeSerialNumber;
        std::memcpy(&facts.idLow, wide.fileId, sizeof(facts.idLow));
        std::memcpy(&facts.idHigh, wide.fileId + sizeof(facts.idLow), sizeof(facts.idHigh));
    } else {
        // No 128-bit ids here (or no such call): the file index.
        facts.volume = information.dwVolumeSerialNumber;
        facts.idLow = fromParts(information.nFileIndexHigh, information.nFileIndexLow);
        facts.idHigh = 0;
    }
    facts.known = true;
    return facts;
}

FileFacts readFileFacts(const wchar_t* path, DWORD& error)
{
    error = 0;
    UniqueFile file(::CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        error = ::GetLastError();
        return FileFacts();
    }
    FileFacts facts = readFileFacts(file.get());
    if (!facts.known) error = ::GetLastError();
    return facts;
}

SameFile judgeSameFile(const FileFacts& a, const FileFacts& b)
{
    if (!a.known || !b.known) return SameFile::No;
    uint64_t volumeA = a.volume;
    uint64_t volumeB = b.volume;
    if (a.wideId != b.wideId) {
        // One side fell back to the index: its serial has 32 bits, and a
        // file index is the low half of the 128-bit id.
        volumeA &= 0xFFFFFFFFull;
        volumeB &= 0xFFFFFFFFull;
    }
    const bool sameId = a.idLow == b.idLow && (a.wideId != b.wideId || a.idHigh == b.idHigh);
    if (!sameId) return SameFile::No;
    if (volumeA != 0 && volumeA == volumeB) return SameFile::Yes;
    if (a.size == b.size && equalTimes(a.lastWrite, b.lastWrite)) return SameFile::Possibly;
    return SameFile::No;
}

} // namespace sorvane
