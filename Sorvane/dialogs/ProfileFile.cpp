#include "dialogs/ProfileFile.h"

#include "common/Raii.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

namespace sorvane {

namespace {

constexpr size_t kBlockSize = 1024;
constexpr size_t kSlack = 4;          // zero bytes kept behind the content
constexpr size_t kIntegerDigits = 31; // an integer is read from this many characters at most

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

size_t capacityFor(size_t size) { return (size + kBlockSize - 1) / kBlockSize * kBlockSize + kSlack; }

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "0x…" as hexadecimal (wrapping into 32 bits like an unsigned read), else
// a signed decimal after optional white space and sign, saturated; no
// digits give 0.
long parseInteger(const std::string& value)
{
    const size_t length = value.size() < kIntegerDigits ? value.size() : kIntegerDigits;
    const char* s = value.data();
    if (length >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        unsigned long result = 0;
        for (size_t i = 2; i < length && hexDigit(s[i]) >= 0; ++i)
            result = (result << 4) | static_cast<unsigned long>(hexDigit(s[i]));
        return static_cast<long>(result);
    }
    size_t i = 0;
    while (i < length && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < length && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long result = 0;
    for (; i < length && s[i] >= '0' && s[i] <= '9'; ++i) {
        result = result * 10 + (s[i] - '0');
        if (result > static_cast<long long>(LONG_MAX) + 1) result = static_cast<long long>(LONG_MAX) + 1;
    }
    if (negative) return static_cast<long>(-result);
    return result > LONG_MAX ? LONG_MAX : static_cast<long>(result);
}

std::wstring folderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash + 1);
}

} // namespace

bool CProfileFile::Open(const wchar_t* path)
{
    buffer_.clear();
    size_ = 0;
    open_ = changed_ = keepOnDisk_ = cacheValid_ = false;
    if (!path || !*path) return false;
    path_ = path;

    UniqueFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) {
        // Nothing can be read: work on an empty content. When the file is
        // there all the same, what it holds is unknown and stays untouched.
        keepOnDisk_ = ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
        if (!reserveFor(0)) return false;
        open_ = true;
        return true;
    }

    LARGE_INTEGER fileSize = {};
    if (!::GetFileSizeEx(file.get(), &fileSize) || fileSize.QuadPart >= static_cast<LONGLONG>(kSizeLimit))
        return false;
    const size_t size = static_cast<size_t>(fileSize.QuadPart);
    if (!reserveFor(size)) return false;
    size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer_.data() + done, static_cast<DWORD>(size - done), &got, nullptr)) {
            buffer_.clear();
            return false;
        }
        if (got == 0) break; // the file shrank meanwhile: keep what was read
        done += got;
    }
    size_ = done;
    open_ = true;
    return true;
}

bool CProfileFile::reserveFor(size_t size)
{
    const size_t capacity = capacityFor(size);
    if (buffer_.size() >= capacity) return true;
    try {
        buffer_.resize(capacity, '\0');
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

bool CProfileFile::findSection(const char* section, Range& body)
{
    if (!section || !*section) return false;
    if (cacheValid_ && cachedName_ == section) {
        body = cachedBody_;
        return true;
    }
    const char* text = buffer_.data();
    const size_t nameLength = std::strlen(section);
    bool found = false;
    size_t pos = 0;
    while (pos < size_) {
        size_t lineEnd = pos;
        while (lineEnd < size_ && !isLineEnd(text[lineEnd])) ++lineEnd;
        size_t p = pos;
        while (p < lineEnd && isBlank(text[p])) ++p;
        if (p < lineEnd && text[p] == '[') {
            if (found) {
                body.end = p; // the body ends at the next header's "["
                break;
            }
            const size_t nameBegin = p + 1;
            size_t nameEnd = nameBegin;
            while (nameEnd < lineEnd && text[nameEnd] != ']') ++nameEnd;
            if (nameEnd - nameBegin == nameLength && std::memcmp(text + nameBegin, section, nameLength) == 0) {
                found = true;
                size_t bodyBegin = lineEnd;
                while (bodyBegin < size_ && isLineEnd(text[bodyBegin])) ++bodyBegin;
                body.begin = bodyBegin;
                body.end = size_;
                pos = bodyBegin;
                continue;
            }
        }
        pos = lineEnd;
        while (pos < size_ && isLineEnd(text[pos])) ++pos;
    }
    if (found) {
        cachedName_ = section;
        cachedBody_ = body;
        cacheValid_ = true;
    }
    return found;
}

bool CProfileFile::findKey(const Range& body, const char* key, KeyLine& line) const
{
    if (!key || !*key) return false;
    const char* text = buffer_.data();
    const size_t keyLength = std::strlen(key);
    size_t pos = body.begin;
    while (pos < body.end) {
        size_t lineEnd = pos;
        while (lineEnd < body.end && !isLineEnd(text[lineEnd])) ++lineEnd;
        size_t p = pos;
        while (p < lineEnd && isBlank(text[p])) ++p;
        if (p < lineEnd) {
            if (text[p] == '[') return false;
            if (text[p] != ';') {
                const void* equals = std::memchr(text + p, '=', lineEnd - p);
                if (equals) {
                    const size_t eq = static_cast<size_t>(static_cast<const char*>(equals) - text);
                    size_t keyEnd = eq;
                    while (keyEnd > p && isBlank(text[keyEnd - 1])) --keyEnd;
                    if (keyEnd - p == keyLength && std::memcmp(text + p, key, keyLength) == 0) {
                        line.valueBegin = eq + 1;
                        line.valueEnd = lineEnd;
                        return true;
                    }
                }
            }
        }
        pos = lineEnd;
        while (pos < body.end && isLineEnd(text[pos])) ++pos;
    }
    return false;
}

bool CProfileFile::ReadValue(const char* section, const char* key, std::string& value)
{
    if (!open_) return false;
    Range body;
    KeyLine line;
    if (!findSection(section, body) || !findKey(body, key, line)) return false;
    value.assign(buffer_.data() + line.valueBegin, line.valueEnd - line.valueBegin);
    return true;
}

size_t CProfileFile::ReadText(const char* section, const char* key, const char* defaultValue, char* buffer,
                              size_t capacity)
{
    if (!buffer || capacity == 0) return 0;
    std::string value;
    if (!ReadValue(section, key, value)) value = defaultValue ? defaultValue : "";
    const size_t length = value.size() < capacity ? value.size() : capacity - 1;
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return length;
}

long CProfileFile::ReadInt(const char* section, const char* key, long defaultValue)
{
    std::string value;
    if (!ReadValue(section, key, value)) return defaultValue;
    return parseInteger(value);
}

void CProfileFile::replace(size_t begin, size_t end, const std::string& text)
{
    const size_t newSize = size_ - (end - begin) + text.size();
    char* data = buffer_.data();
    std::memmove(data + begin + text.size(), data + end, size_ - end);
    std::memcpy(data + begin, text.data(), text.size());
    if (newSize < size_) std::memset(data + newSize, 0, size_ - newSize);
    size_ = newSize;
    changed_ = true;
}

bool CProfileFile::WriteInt(const char* section, const char* key, long value)
{
    char text[24];
    std::snprintf(text, sizeof(text), "%ld", value);
    return WriteText(section, key, text);
}

bool CProfileFile::WriteText(const char* section, const char* key, const char* value)
{
    if (!open_ || !section || !*section || !key || !*key) return false;
    std::string text = value ? value : "";
    for (char& c : text)
        if (isLineEnd(c)) c = ' ';

    Range body;
    if (findSection(section, body)) {
        KeyLine line;
        if (findKey(body, key, line)) {
            const size_t oldLength = line.valueEnd - line.valueBegin;
            if (oldLength == text.size() && std::memcmp(buffer_.data() + line.valueBegin, text.data(), oldLength) == 0)
                return true; // already so: no change
            if (text.size() > oldLength && !reserveFor(size_ + text.size() - oldLength)) return false;
            replace(line.valueBegin, line.valueEnd, text);
            cachedBody_.end = cachedBody_.end - oldLength + text.size();
            return true;
        }
        // A new key goes at the end of the body. Before a following header
        // it goes in front of that header's line, indentation included.
        size_t pos = body.end;
        if (pos < size_)
            while (pos > body.begin && isBlank(buffer_[pos - 1])) --pos;
        std::string insert;
        // A body that runs to an unterminated last line (or a header at the
        // very end of the file) gets a line break first.
        if (pos > 0 && !isLineEnd(buffer_[pos - 1])) insert = "\r\n";
        const size_t prefix = insert.size();
        insert += "  ";
        insert += key;
        insert += '=';
        insert += text;
        insert += "\r\n";
        if (!reserveFor(size_ + insert.size())) return false;
        replace(pos, pos, insert);
        if (prefix && cachedBody_.begin == pos) cachedBody_.begin += prefix;
        cachedBody_.end += insert.size();
        return true;
    }

    std::string insert;
    if (size_ > 0 && !isLineEnd(buffer_[size_ - 1])) insert = "\r\n";
    insert += '[';
    insert += section;
    insert += "]\r\n";
    const size_t bodyBegin = size_ + insert.size();
    insert += "  ";
    insert += key;
    insert += '=';
    insert += text;
    insert += "\r\n";
    if (!reserveFor(size_ + insert.size())) return false;
    replace(size_, size_, insert);
    cachedName_ = section;
    cachedBody_.begin = bodyBegin;
    cachedBody_.end = size_;
    cacheValid_ = true;
    return true;
}

bool CProfileFile::writeBack()
{
    if (keepOnDisk_) return false;
    const std::wstring folder = folderOf(path_);
    wchar_t temporary[MAX_PATH + 1] = {};
    if (!::GetTempFileNameW(folder.c_str(), L"svn", 0, temporary)) return false;
    bool replaced = false;
    ScopeExit removeTemporary([&] {
        if (!replaced) ::DeleteFileW(temporary);
    });

    {
        UniqueFile out(::CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
        if (!out) return false;
        size_t done = 0;
        while (done < size_) {
            DWORD written = 0;
            if (!::WriteFile(out.get(), buffer_.data() + done, static_cast<DWORD>(size_ - done), &written, nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        if (!::FlushFileBuffers(out.get())) return false;
    }

    // A read-only profile is overwritten all the same.
    const DWORD attributes = ::GetFileAttributesW(path_.c_str());
    const bool cleared = attributes != INVALID_FILE_ATTRIBUTES &&
                         (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &&
                         ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::MoveFileExW(temporary, path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (cleared) ::SetFileAttributesW(path_.c_str(), attributes);
        return false;
    }
    replaced = true;
    return true;
}

bool CProfileFile::Close()
{
    if (!open_) return false;
    bool ok = true;
    if (changed_) {
        ok = writeBack();
        if (ok) changed_ = false;
    }
    std::vector<char>().swap(buffer_);
    size_ = 0;
    open_ = false;
    cacheValid_ = false;
    return ok;
}

} // namespace sorvane
