// Codec streams over C stdio files, for the native command-line tools.
#pragma once

#include <cstdio>

#include "lzh_stream.h"

namespace lzhtool {

class FileIn : public lzh::RewindIn {
public:
    explicit FileIn(const char* path) : f_(std::fopen(path, "rb")) {}
    ~FileIn() override {
        if (f_) std::fclose(f_);
    }
    FileIn(const FileIn&) = delete;
    FileIn& operator=(const FileIn&) = delete;
    bool ok() const { return f_ != nullptr; }
    size_t read(uint8_t* dst, size_t n) override { return f_ ? std::fread(dst, 1, n, f_) : 0; }
    bool failed() const override { return !f_ || std::ferror(f_); }
    bool rewind() override { return f_ && std::fseek(f_, 0, SEEK_SET) == 0; }
    bool seek(uint64_t pos) { return f_ && fseeko(f_, static_cast<off_t>(pos), SEEK_SET) == 0; }

private:
    std::FILE* f_;
};

class FileOut : public lzh::SeekOut {
public:
    explicit FileOut(const char* path) : f_(std::fopen(path, "w+b")) {}
    ~FileOut() override {
        if (f_) std::fclose(f_);
    }
    FileOut(const FileOut&) = delete;
    FileOut& operator=(const FileOut&) = delete;
    bool ok() const { return f_ != nullptr; }
    bool write(const uint8_t* src, size_t n) override { return f_ && std::fwrite(src, 1, n, f_) == n; }
    uint64_t tell() const override { return f_ ? static_cast<uint64_t>(ftello(f_)) : 0; }
    bool seek(uint64_t pos) override { return f_ && fseeko(f_, static_cast<off_t>(pos), SEEK_SET) == 0; }
    bool truncate() override {
        return f_ && std::fflush(f_) == 0 && ftruncate(fileno(f_), ftello(f_)) == 0;
    }
    bool close() {
        bool ok = f_ && std::fclose(f_) == 0;
        f_ = nullptr;
        return ok;
    }

private:
    std::FILE* f_;
};

}  // namespace lzhtool
