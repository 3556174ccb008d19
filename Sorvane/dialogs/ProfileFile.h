// Our own reader and writer of the history's profile file: an ANSI text of
// "[section]" headers and "key=value" lines ended by CR LF, read whole into
// memory, edited there and written back in one piece when it changed.
//
// Sections and keys are compared exactly (case counts); values are taken as
// they stand, blanks included. Writing a key rewrites its value in place,
// inserts a missing key at the end of its section and appends a missing
// section at the end of the file; everything else in the file is kept byte
// for byte. The write-back goes to a temporary file that then replaces the
// profile, so that a failed write never leaves a damaged file behind.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace sorvane {

class CProfileFile {
public:
    // Files of this size or more are not loaded.
    static constexpr unsigned long kSizeLimit = 0xFFFFFF;

    CProfileFile() = default;
    ~CProfileFile() = default; // drops unsaved changes
    CProfileFile(const CProfileFile&) = delete;
    CProfileFile& operator=(const CProfileFile&) = delete;

    // Reads the file whole, creating it empty when it does not exist. A
    // file that cannot be opened at all reads as empty and still counts as
    // open; a file that is too large or cannot be read does not.
    bool Open(const wchar_t* path);

    // The integer value of `key` ("0x…" hexadecimal, else a signed decimal
    // by the leading-number rule), or `defaultValue` when the key is missing.
    long ReadInt(const char* section, const char* key, long defaultValue);
    // Copies the value of `key` (at most capacity − 1 bytes, terminated) or
    // `defaultValue` when the key is missing; returns the length copied.
    size_t ReadText(const char* section, const char* key, const char* defaultValue, char* buffer, size_t capacity);
    // The whole value of `key`; false when the key is missing.
    bool ReadValue(const char* section, const char* key, std::string& value);

    // "%ld" of `value`. False when nothing was written (empty section name).
    bool WriteInt(const char* section, const char* key, long value);
    // A line break inside `value` would split its line: CR and LF are
    // written as blanks. False when nothing was written.
    bool WriteText(const char* section, const char* key, const char* value);

    // Writes the content back when it changed and releases it. True when
    // nothing had to be written or the write succeeded; false leaves the
    // file on disk as it was.
    bool Close();

    bool isOpen() const noexcept { return open_; }
    bool changed() const noexcept { return changed_; }
    // The content as it stands (for inspection).
    std::string content() const { return std::string(buffer_.data(), size_); }

private:
    struct Range {
        size_t begin = 0;
        size_t end = 0;
    };
    struct KeyLine {
        size_t valueBegin = 0;
        size_t valueEnd = 0;
    };

    bool findSection(const char* section, Range& body);
    bool findKey(const Range& body, const char* key, KeyLine& line) const;
    void replace(size_t begin, size_t end, const std::string& text);
    bool reserveFor(size_t size);
    bool writeBack();

    std::wstring path_;
    std::vector<char> buffer_; // capacity in whole kilobytes plus 4, zero behind the content
    size_t size_ = 0;
    bool open_ = false;
    bool changed_ = false;
    // The file exists but could not be read: its content is unknown, so it
    // must not be replaced by what little this instance holds.
    bool keepOnDisk_ = false;

    // The last section found, so that the next lookup of it takes no search.
    std::string cachedName_;
    Range cachedBody_;
    bool cacheValid_ = false;
};

} // namespace sorvane
