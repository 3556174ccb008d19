// Codec streams over Win32 file handles, with the handle owned by the
// stream (closed in the destructor).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "lzh_stream.h"

namespace unlha {

// Owns a HANDLE; INVALID_HANDLE_VALUE when empty.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() { reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& o) noexcept : h_(o.h_) { o.h_ = INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }
    bool close() {
        bool ok = !valid() || CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

class WinFileIn : public lzh::RewindIn {
public:
    // Opens for reading, letting others read and write (files being archived
    // may be open elsewhere).
    explicit WinFileIn(const std::wstring& path)
        : h_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {}
    bool ok() const { return h_.valid(); }
    size_t read(uint8_t* dst, size_t n) override {
        size_t total = 0;
        while (n > 0) {
            DWORD want = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
            DWORD got = 0;
            if (!ReadFile(h_.get(), dst, want, &got, nullptr)) {
                failed_ = true;
                break;
            }
            if (got == 0) break;
            total += got;
            dst += got;
            n -= got;
        }
        return total;
    }
    bool failed() const override { return failed_ || !h_.valid(); }
    bool seek(uint64_t pos) {
        LARGE_INTEGER li;
        li.QuadPart = static_cast<LONGLONG>(pos);
        return SetFilePointerEx(h_.get(), li, nullptr, FILE_BEGIN) != 0;
    }
    bool skip(uint64_t n) override {
        LARGE_INTEGER li, now;
        li.QuadPart = static_cast<LONGLONG>(n);
        if (!SetFilePointerEx(h_.get(), li, &now, FILE_CURRENT)) return false;
        // Seeking past the end succeeds on Windows; check against the size.
        LARGE_INTEGER size;
        return GetFileSizeEx(h_.get(), &size) && now.QuadPart <= size.QuadPart;
    }
    bool rewind() override { return seek(0); }
    HANDLE handle() const { return h_.get(); }

private:
    FileHandle h_;
    bool failed_ = false;
};

// Buffered writer that can move back to patch headers.
class WinFileOut : public lzh::SeekOut {
public:
    explicit WinFileOut(const std::wstring& path, DWORD disposition = CREATE_ALWAYS)
        : h_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr)) {
        buf_.reserve(kBuf);
    }
    bool ok() const { return h_.valid(); }
    bool write(const uint8_t* src, size_t n) override {
        if (failed_) return false;
        if (buf_.size() + n > kBuf && !flush()) return false;
        if (n >= kBuf) return raw_write(src, n);
        buf_.insert(buf_.end(), src, src + n);
        pos_ += n;
        return true;
    }
    uint64_t tell() const override { return pos_; }
    bool seek(uint64_t pos) override {
        if (!flush()) return false;
        LARGE_INTEGER li;
        li.QuadPart = static_cast<LONGLONG>(pos);
        if (!SetFilePointerEx(h_.get(), li, nullptr, FILE_BEGIN)) return fail();
        pos_ = pos;
        return true;
    }
    bool truncate() override { return flush() && (SetEndOfFile(h_.get()) || fail()); }
    bool flush() {
        if (failed_) return false;
        if (buf_.empty()) return true;
        bool ok = raw_write_buffered();
        buf_.clear();
        return ok;
    }
    // Flushes, forces the bytes to disk and closes; false on any failure.
    bool finish() {
        bool ok = flush() && FlushFileBuffers(h_.get());
        ok = h_.close() && ok;
        return ok;
    }

private:
    static constexpr size_t kBuf = 1 << 18;
    bool fail() {
        failed_ = true;
        return false;
    }
    bool raw_write_buffered() {
        const uint8_t* p = buf_.data();
        size_t n = buf_.size();
        while (n) {
            DWORD done = 0;
            if (!WriteFile(h_.get(), p, static_cast<DWORD>(n), &done, nullptr) || done == 0) return fail();
            p += done;
            n -= done;
        }
        return true;
    }
    bool raw_write(const uint8_t* p, size_t n) {
        pos_ += n;
        while (n) {
            DWORD want = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
            DWORD done = 0;
            if (!WriteFile(h_.get(), p, want, &done, nullptr) || done == 0) return fail();
            p += done;
            n -= done;
        }
        return true;
    }

    FileHandle h_;
    std::vector<uint8_t> buf_;
    uint64_t pos_ = 0;
    bool failed_ = false;
};

// ANSI (code page of the system) <-> UTF-16.
inline std::wstring from_ansi(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}
// False in *exact when some character has no form in the code page.
inline std::string to_ansi(const std::wstring& w, bool* exact) {
    BOOL lossy = FALSE;
    *exact = true;
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, &lossy);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr,
                        &lossy);
    *exact = !lossy;
    return s;
}
inline std::string to_ansi(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

}  // namespace unlha
