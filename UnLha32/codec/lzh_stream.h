// Byte stream interfaces used by the codec, and in-memory implementations.
// The codec never touches the file system itself: the library and the tools
// hand it streams over files, the tests hand it streams over memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lzh {

// Source of bytes. read() returns the number of bytes stored, 0 at the end,
// and sets failed() when the underlying read went wrong.
class InStream {
public:
    virtual ~InStream() = default;
    virtual size_t read(uint8_t* dst, size_t n) = 0;
    virtual bool failed() const { return false; }
    // Skips n bytes; false when the stream ends first or fails.
    virtual bool skip(uint64_t n) {
        uint8_t tmp[4096];
        while (n > 0) {
            size_t k = read(tmp, n < sizeof tmp ? static_cast<size_t>(n) : sizeof tmp);
            if (k == 0) return false;
            n -= k;
        }
        return true;
    }
};

// An input that can be read again from its start.
class RewindIn : public InStream {
public:
    virtual bool rewind() = 0;
};

// Sink of bytes. write() returns false when the bytes could not be stored.
class OutStream {
public:
    virtual ~OutStream() = default;
    virtual bool write(const uint8_t* src, size_t n) = 0;
};

// An output whose position can be moved back to patch what was written.
class SeekOut : public OutStream {
public:
    virtual uint64_t tell() const = 0;
    virtual bool seek(uint64_t pos) = 0;
    // Drops everything after the current position.
    virtual bool truncate() = 0;
};

// Reads from a memory block that outlives the stream.
class MemoryIn : public RewindIn {
public:
    MemoryIn(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit MemoryIn(const std::vector<uint8_t>& v) : data_(v.data()), size_(v.size()) {}
    size_t read(uint8_t* dst, size_t n) override {
        size_t left = size_ - pos_;
        if (n > left) n = left;
        if (n) std::memcpy(dst, data_ + pos_, n);
        pos_ += n;
        return n;
    }
    bool skip(uint64_t n) override {
        if (n > size_ - pos_) {
            pos_ = size_;
            return false;
        }
        pos_ += static_cast<size_t>(n);
        return true;
    }
    bool rewind() override {
        pos_ = 0;
        return true;
    }
    size_t position() const { return pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Writes into a vector at a movable position, growing it as needed.
class VectorOut : public SeekOut {
public:
    explicit VectorOut(std::vector<uint8_t>& v) : v_(v), pos_(v.size()) {}
    bool write(const uint8_t* src, size_t n) override {
        if (pos_ + n > v_.size()) v_.resize(pos_ + n);
        if (n) std::memcpy(v_.data() + pos_, src, n);
        pos_ += n;
        return true;
    }
    uint64_t tell() const override { return pos_; }
    bool seek(uint64_t pos) override {
        if (pos > v_.size()) return false;
        pos_ = static_cast<size_t>(pos);
        return true;
    }
    bool truncate() override {
        v_.resize(pos_);
        return true;
    }

private:
    std::vector<uint8_t>& v_;
    size_t pos_;
};

// Passes at most `limit` bytes of another stream, so a member's data can be
// read from an archive without running into the next header.
class LimitedIn : public InStream {
public:
    LimitedIn(InStream& base, uint64_t limit) : base_(base), left_(limit) {}
    size_t read(uint8_t* dst, size_t n) override {
        if (n > left_) n = static_cast<size_t>(left_);
        if (n == 0) return 0;
        size_t got = base_.read(dst, n);
        left_ -= got;
        return got;
    }
    bool failed() const override { return base_.failed(); }
    uint64_t remaining() const { return left_; }

private:
    InStream& base_;
    uint64_t left_;
};

// Discards everything (used to test members without extracting them).
class NullOut : public OutStream {
public:
    bool write(const uint8_t*, size_t) override { return true; }
};

}  // namespace lzh
