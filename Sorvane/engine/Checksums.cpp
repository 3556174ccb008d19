#include "engine/Checksums.h"

#include "engine/AlignedReader.h"
#include "engine/PathForms.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace sorvane {

namespace {

constexpr size_t kDigestDigits = 32;
constexpr size_t kReadChunk = 1024 * 1024;

struct StateDeleter {
    void operator()(XXH3_state_t* state) const noexcept { XXH3_freeState(state); }
};

std::string toUtf8(const std::wstring& text, bool& valid)
{
    valid = true;
    if (text.empty()) return {};
    const int bytes = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                            nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        valid = false;
        return {};
    }
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                          nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& text, bool& valid)
{
    valid = true;
    if (text.empty()) return {};
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                            nullptr, 0);
    if (units <= 0) {
        valid = false;
        return {};
    }
    std::wstring out(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), out.data(), units);
    return out;
}

// A full path in its ordinary form with "." and ".." resolved; empty for a
// path that is not full (relative, rooted without a drive, drive-relative),
// which would be taken from the current folder.
std::wstring resolved(const wchar_t* path)
{
    switch (pathFormOf(path)) {
    case PathForm::Empty:
    case PathForm::DriveRelative:
    case PathForm::Rooted:
    case PathForm::Relative: return {};
    default: return ordinaryFormOf(fullPathOf(ordinaryFormOf(path)));
    }
}

// The folder of a full path, in its ordinary form, ending with '\'.
std::wstring folderOf(const wchar_t* fullPath)
{
    std::wstring path = resolved(fullPath);
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring withSeparator(std::wstring folder)
{
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

bool startsWithNoCase(const std::wstring& text, const std::wstring& start)
{
    return text.size() >= start.size() &&
           ::CompareStringOrdinal(text.c_str(), static_cast<int>(start.size()), start.c_str(),
                                  static_cast<int>(start.size()), TRUE) == CSTR_EQUAL;
}

std::wstring volumeOf(const std::wstring& path)
{
    wchar_t volume[MAX_PATH] = {};
    if (!::GetVolumePathNameW(path.c_str(), volume, MAX_PATH)) return {};
    return volume;
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

} // namespace

std::string digestText(const Digest128& digest)
{
    char text[kDigestDigits + 1];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(digest.high),
                  static_cast<unsigned long long>(digest.low));
    return std::string(text, kDigestDigits);
}

bool parseDigest(const char* text, size_t length, Digest128& digest) noexcept
{
    if (!text || length != kDigestDigits) return false;
    uint64_t halves[2] = {0, 0};
    for (size_t i = 0; i < kDigestDigits; ++i) {
        if (!isHex(text[i])) return false;
        halves[i / 16] = (halves[i / 16] << 4) | static_cast<uint64_t>(hexValue(text[i]));
    }
    digest.high = halves[0];
    digest.low = halves[1];
    return true;
}

bool checksumFileFitsTarget(const wchar_t* sumsPath, const wchar_t* targetFolder)
{
    if (!sumsPath || !targetFolder) return false;
    const std::wstring folder = folderOf(sumsPath);
    const std::wstring target = withSeparator(resolved(targetFolder));
    if (folder.empty() || target.empty() || !startsWithNoCase(target, folder)) return false;
    const std::wstring volume = volumeOf(folder);
    return !volume.empty() && ::CompareStringOrdinal(volume.c_str(), -1, volumeOf(target).c_str(), -1, TRUE) ==
                                  CSTR_EQUAL;
}

DWORD ChecksumWriter::open(const wchar_t* sumsPath)
{
    folder_ = folderOf(sumsPath);
    pending_.clear();
    lines_ = 0;
    if (folder_.empty()) return ERROR_BAD_PATHNAME;
    file_.reset(::CreateFileW(longFormOf(sumsPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return file_ ? 0 : ::GetLastError();
}

bool ChecksumWriter::add(const wchar_t* fullPath, const Digest128& digest)
{
    if (!file_ || !fullPath) return false;
    const std::wstring path = resolved(fullPath);
    if (!startsWithNoCase(path, folder_) || path.size() == folder_.size()) return false;
    std::wstring relative = path.substr(folder_.size());
    for (wchar_t& c : relative) {
        if (c == L'\\') c = L'/';
    }
    bool valid = false;
    const std::string name = toUtf8(relative, valid);
    if (!valid) return false;
    pending_ += digestText(digest);
    pending_ += "  ";
    pending_ += name;
    pending_ += '\n';
    ++lines_;
    if (pending_.size() < 64 * 1024) return true;
    DWORD written = 0;
    const bool ok = ::WriteFile(file_.get(), pending_.data(), static_cast<DWORD>(pending_.size()), &written, nullptr) &&
                    written == pending_.size();
    pending_.clear();
    return ok;
}

DWORD ChecksumWriter::close()
{
    if (!file_) return 0;
    DWORD error = 0;
    DWORD written = 0;
    if (!pending_.empty() &&
        (!::WriteFile(file_.get(), pending_.data(), static_cast<DWORD>(pending_.size()), &written, nullptr) ||
         written != pending_.size())) {
        error = ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
    }
    pending_.clear();
    if (!::FlushFileBuffers(file_.get()) && error == 0) error = ::GetLastError();
    file_.reset();
    return error;
}

DWORD hashFileUnbuffered(const wchar_t* path, Digest128& digest)
{
    UnbufferedReader reader;
    if (const DWORD error = reader.open(path, 0, kReadChunk)) return error;
    std::unique_ptr<XXH3_state_t, StateDeleter> state(XXH3_createState());
    if (!state) return ERROR_NOT_ENOUGH_MEMORY;
    XXH3_128bits_reset(state.get());
    for (;;) {
        const void* data = nullptr;
        DWORD length = 0;
        if (const DWORD error = reader.next(data, length)) return error;
        if (length == 0) break;
        XXH3_128bits_update(state.get(), data, length);
    }
    const XXH128_hash_t hash = XXH3_128bits_digest(state.get());
    digest.low = hash.low64;
    digest.high = hash.high64;
    return 0;
}

DWORD checkChecksumFile(const wchar_t* sumsPath, ISumCheckSink& sink)
{
    const std::wstring folder = folderOf(sumsPath);
    UniqueFile file(::CreateFileW(longFormOf(sumsPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return ::GetLastError();
    std::string text;
    char buffer[64 * 1024];
    DWORD got = 0;
    for (;;) {
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return ::GetLastError();
        if (got == 0) break;
        text.append(buffer, got);
    }
    file.reset();

    uint64_t number = 0;
    size_t start = 0;
    // A byte-order mark at the start is no part of the first line.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (sink.Cancelled()) break;
        Digest128 written{};
        bool valid = false;
        const bool shaped = line.size() > kDigestDigits + 2 && line.compare(kDigestDigits, 2, "  ") == 0 &&
                            parseDigest(line.data(), kDigestDigits, written);
        std::wstring name = shaped ? fromUtf8(line.substr(kDigestDigits + 2), valid) : std::wstring();
        if (!shaped || !valid || name.empty()) {
            bool readable = false;
            std::wstring shown = fromUtf8(line.substr(0, 200), readable);
            sink.CheckedLine(number, readable ? shown : std::wstring(L"?"), SumState::Damaged, 0);
            continue;
        }
        for (wchar_t& c : name) {
            if (c == L'/') c = L'\\';
        }
        const std::wstring path = (name.size() > 1 && name[1] == L':') ? name : folder + name;
        Digest128 found{};
        const DWORD error = hashFileUnbuffered(longFormOf(path).c_str(), found);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            sink.CheckedLine(number, path, SumState::Missing, error);
        } else if (error != 0) {
            sink.CheckedLine(number, path, SumState::Unread, error);
        } else {
            sink.CheckedLine(number, path, found == written ? SumState::Good : SumState::Changed, 0);
        }
    }
    return 0;
}

} // namespace sorvane
