#include "engine/Temporaries.h"

#include "common/Raii.h"
#include "engine/FileTimes.h"
#include "engine/Listing.h"

#include <atomic>
#include <cwchar>

namespace sorvane {

namespace {

constexpr wchar_t kPrefix[] = L"~sorvane-";
constexpr size_t kPrefixLength = 9;
// The archiver library's temporaries beside an archive.
constexpr wchar_t kLibraryPrefix[] = L"lzh-";
constexpr size_t kLibraryPrefixLength = 4;
constexpr wchar_t kSuffix[] = L".tmp";
constexpr size_t kSuffixLength = 4;

std::atomic<unsigned> g_counter{0};

bool equalNoCase(const wchar_t* a, const wchar_t* b, size_t length)
{
    return ::CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// Reads hexadecimal digits up to `stop`; false without any, or too many.
bool readHex(const wchar_t*& at, wchar_t stop, uint64_t& value, size_t maxDigits)
{
    value = 0;
    size_t digits = 0;
    for (; *at && *at != stop; ++at, ++digits) {
        const wchar_t c = *at;
        unsigned digit;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if ((c | 0x20) >= L'a' && (c | 0x20) <= L'f') digit = (c | 0x20) - L'a' + 10;
        else return false;
        if (digits >= maxDigits) return false;
        value = (value << 4) | digit;
    }
    return digits > 0 && *at == stop;
}

// Removes one dead temporary, only once no one else holds it open.
bool removeTemporary(const wchar_t* path)
{
    UniqueFile file(::CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    FILE_BASIC_INFO basic = {};
    if (::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof(basic)) &&
        (basic.FileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        if (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
        // A copy carries its source's attributes; a read-only one cannot be deleted as it is.
        FILE_BASIC_INFO writable = {};
        writable.FileAttributes = basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!::SetFileInformationByHandle(file.get(), FileBasicInfo, &writable, sizeof(writable))) return false;
    }
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition)) != 0;
}

// Appends `name` to the folder in `folder` and removes it when it is a dead
// temporary; the folder is put back as it was.
bool sweepOne(wchar_t* folder, size_t folderLength, size_t capacity, const wchar_t* name)
{
    DWORD processId;
    uint64_t startTime;
    if (!parseTemporaryName(name, processId, startTime)) return false;
    if (!temporaryOwnerGone(processId, startTime)) return false;
    const size_t nameLength = std::wcslen(name);
    if (folderLength + nameLength + 1 > capacity) return false;
    std::wmemcpy(folder + folderLength, name, nameLength + 1);
    const bool removed = removeTemporary(folder);
    folder[folderLength] = L'\0';
    return removed;
}

} // namespace

uint64_t currentProcessStartTime()
{
    static const uint64_t start = [] {
        FILETIME created = {}, exited, kernel, user;
        ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
        return fileTimeValue(created);
    }();
    return start;
}

void makeTemporaryName(wchar_t* out)
{
    std::swprintf(out, kTemporaryNameCapacity, L"%ls%lx-%llx-%x%ls", kPrefix,
                  static_cast<unsigned long>(::GetCurrentProcessId()),
                  static_cast<unsigned long long>(currentProcessStartTime()), g_counter.fetch_add(1), kSuffix);
}

bool parseTemporaryName(const wchar_t* name, DWORD& processId, uint64_t& startTime)
{
    if (!name) return false;
    const size_t length = std::wcslen(name);
    size_t prefixLength = 0;
    if (length > kPrefixLength && equalNoCase(name, kPrefix, kPrefixLength)) {
        prefixLength = kPrefixLength;
    } else if (length > kLibraryPrefixLength && equalNoCase(name, kLibraryPrefix, kLibraryPrefixLength)) {
        prefixLength = kLibraryPrefixLength;
    }
    if (prefixLength == 0 || length <= prefixLength + kSuffixLength ||
        !equalNoCase(name + length - kSuffixLength, kSuffix, kSuffixLength)) {
        return false;
    }
    const wchar_t* at = name + prefixLength;
    uint64_t id;
    uint64_t counter;
    if (!readHex(at, L'-', id, 8)) return false;
    ++at;
    if (!readHex(at, L'-', startTime, 16)) return false;
    ++at;
    if (!readHex(at, L'.', counter, 8)) return false;
    if (static_cast<size_t>(at - name) != length - kSuffixLength) return false;
    processId = static_cast<DWORD>(id);
    return true;
}

bool temporaryOwnerGone(DWORD processId, uint64_t startTime)
{
    if (processId == ::GetCurrentProcessId()) return startTime != currentProcessStartTime();
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    FILETIME created = {}, exited, kernel, user;
    if (!::GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return false;
    if (fileTimeValue(created) != startTime) return true;
    DWORD code = 0;
    return ::GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE;
}

size_t sweepTemporaries(wchar_t* folder, size_t capacity, const Listing* listing)
{
    if (!folder) return 0;
    const size_t folderLength = std::wcslen(folder);
    size_t removed = 0;
    if (listing) {
        wchar_t name[kListingNameCapacity];
        for (const ListingRecord* record = listing->first(); record; record = listing->next(record)) {
            if (record->kind != kListingFile || recordNameLength(record) <= kLibraryPrefixLength) continue;
            copyRecordName(record, name);
            if (sweepOne(folder, folderLength, capacity, name)) ++removed;
        }
        return removed;
    }
    for (const wchar_t* pattern : {L"~sorvane-*.tmp", L"lzh-*.tmp"}) {
        const size_t patternLength = std::wcslen(pattern);
        if (folderLength + patternLength + 1 > capacity) return removed;
        std::wmemcpy(folder + folderLength, pattern, patternLength + 1);
        WIN32_FIND_DATAW found;
        UniqueFind find(::FindFirstFileW(folder, &found));
        folder[folderLength] = L'\0';
        if (!find) continue;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            if (sweepOne(folder, folderLength, capacity, found.cFileName)) ++removed;
        } while (::FindNextFileW(find.get(), &found));
    }
    return removed;
}

} // namespace sorvane
