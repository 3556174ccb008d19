#include "run/RetryList.h"

#include "common/HandOff.h"
#include "common/Raii.h"
#include "engine/Checksums.h"
#include "engine/PathForms.h"

#include <cstring>
#include <cwchar>
#include <cwctype>

namespace sorvane {

namespace {

constexpr size_t kHashDigits = 32;
// A list names a few files of one run; a file far larger is not one.
constexpr LONGLONG kLargestList = 64LL * 1024 * 1024;
constexpr const wchar_t* kRecycleKey = L"recycle=";
constexpr const wchar_t* kProtectKey = L"protect=";

// "key=0" or "key=1" exactly.
bool readFlag(const std::wstring& line, const wchar_t* key, bool& flag)
{
    const size_t keyLength = std::wcslen(key);
    if (line.size() != keyLength + 1 || line.compare(0, keyLength, key) != 0) return false;
    if (line[keyLength] != L'0' && line[keyLength] != L'1') return false;
    flag = line[keyLength] == L'1';
    return true;
}

// A path that names one place by itself: a drive, a share, or one of their
// long forms; never a relative path, which the elevated program would
// resolve against a folder of its own choosing.
bool isFullPath(const std::wstring& path)
{
    switch (pathFormOf(path.c_str())) {
    case PathForm::Drive:
    case PathForm::Share:
    case PathForm::LongDrive:
    case PathForm::LongShare:
    case PathForm::LongOther: break;
    default: return false;
    }
    if (rootLength(path.c_str()) == 0 || path.back() == L'\\') return false;
    for (wchar_t c : path) {
        if (c < 0x20) return false;
    }
    return true;
}

bool isHashText(const wchar_t* text)
{
    for (size_t i = 0; i < kHashDigits; ++i) {
        if (!std::iswxdigit(text[i])) return false;
    }
    return true;
}

bool sameHash(const std::wstring& a, const wchar_t* b)
{
    if (a.size() != kHashDigits) return false;
    for (size_t i = 0; i < kHashDigits; ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    }
    return true;
}

// The bytes of a list file; false when it cannot be one.
bool readListFile(const std::wstring& path, std::string& bytes)
{
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // Only a file on a disk: a pipe or a device could block the start.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > kLargestList) return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

} // namespace

std::wstring encodeRetryList(const RetryList& list)
{
    std::wstring text = kRecycleKey;
    text += list.recycle ? L"1\r\n" : L"0\r\n";
    text += kProtectKey;
    text += list.protectReadOnly ? L"1\r\n" : L"0\r\n";
    for (const std::wstring& path : list.paths) {
        text += path;
        text += L"\r\n";
    }
    return text;
}

bool decodeRetryList(const wchar_t* text, size_t length, RetryList& list)
{
    if (!text) return false;
    if (length > 0 && text[length - 1] == L'\0') --length;
    const std::wstring whole(text, length);
    if (whole.find(L'\0') != std::wstring::npos) return false;
    RetryList read;
    size_t lineNumber = 0;
    for (size_t at = 0; at < whole.size(); ++lineNumber) {
        const size_t end = whole.find(L"\r\n", at);
        if (end == std::wstring::npos) return false; // every line ends with CR LF
        const std::wstring line = whole.substr(at, end - at);
        at = end + 2;
        if (lineNumber == 0) {
            if (!readFlag(line, kRecycleKey, read.recycle)) return false;
        } else if (lineNumber == 1) {
            if (!readFlag(line, kProtectKey, read.protectReadOnly)) return false;
        } else {
            if (!isFullPath(line)) return false;
            read.paths.push_back(line);
        }
    }
    if (read.paths.empty()) return false;
    list = std::move(read);
    return true;
}

std::wstring retryHash(const void* bytes, size_t size)
{
    // The 32 digits as xxhsum prints an XXH3-128 hash.
    const std::string text = digestText(hashBytes(bytes, size));
    return std::wstring(text.begin(), text.end());
}

std::wstring writeRetryList(const RetryList& list, const wchar_t* programFolder, std::wstring& file)
{
    file.clear();
    const std::wstring text = encodeRetryList(list);
    // The bytes of the file: the text and its terminator, as the hand-off
    // file holds a selection.
    const std::wstring hash = retryHash(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    if (programFolder && *programFolder) file = handoff::writeHandOffFile(programFolder, text);
    if (file.empty()) {
        const std::wstring temp = handoff::userTempFolder();
        if (!temp.empty()) file = handoff::writeHandOffFile(temp.c_str(), text);
    }
    if (file.empty()) return {};
    return L"/R:" + hash + L":" + file;
}

RetryListStatus readRetryList(const wchar_t* parameter, const std::vector<std::wstring>& folders, RetryList& list,
                              std::wstring& file)
{
    file.clear();
    if (!parameter || std::wcslen(parameter) < kHashDigits + 2 || !isHashText(parameter) ||
        parameter[kHashDigits] != L':') {
        if (parameter) file = parameter;
        return RetryListStatus::Unreadable;
    }
    file = parameter + kHashDigits + 1;
    std::string bytes;
    const bool read = readListFile(file, bytes);
    // Ours once the program has started: read, then removed, whatever it
    // holds. Any other file named here is the user's and stays.
    if (handoff::isHandOffFile(file.c_str(), folders)) ::DeleteFileW(file.c_str());
    if (!read) return RetryListStatus::Unreadable;
    if (!sameHash(retryHash(bytes.data(), bytes.size()), parameter)) return RetryListStatus::HashDiffers;
    if (bytes.size() % sizeof(wchar_t) != 0) return RetryListStatus::Unreadable;
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes.data(), bytes.size());
    return decodeRetryList(text.c_str(), text.size(), list) ? RetryListStatus::Accepted : RetryListStatus::Unreadable;
}

} // namespace sorvane
