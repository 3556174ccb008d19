// MSB-first bit writer and reader for the LZH block format.
#pragma once

#include <cstdint>
#include <vector>

#include "lzh_stream.h"

namespace lzh {

// Collects bits most significant first into a byte vector.
class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

    // Appends the low `n` bits of `v` (n <= 32).
    void put(int n, uint32_t v) {
        if (n == 0) return;
        acc_ = (acc_ << n) | (v & ((n == 32) ? 0xFFFFFFFFull : ((1ull << n) - 1)));
        cnt_ += n;
        while (cnt_ >= 8) {
            cnt_ -= 8;
            out_.push_back(static_cast<uint8_t>(acc_ >> cnt_));
        }
    }
    // Pads the last byte with zero bits.
    void flush() {
        if (cnt_ > 0) {
            out_.push_back(static_cast<uint8_t>(acc_ << (8 - cnt_)));
            cnt_ = 0;
        }
        acc_ = 0;
    }
    uint64_t bit_count() const { return out_.size() * 8ull + static_cast<unsigned>(cnt_); }

private:
    std::vector<uint8_t>& out_;
    uint64_t acc_ = 0;
    int cnt_ = 0;
};

// Reads bits most significant first from a stream limited to `limit` bytes.
// Past the end it supplies zero bits; overrun() tells whether any of those
// were actually consumed, which means the data was cut short.
class BitReader {
public:
    BitReader(InStream& in, uint64_t limit) : in_(in), left_(limit) {}

    // The next `n` bits (n <= 24) without consuming them.
    uint32_t peek(int n) {
        if (cnt_ < n) refill();
        return static_cast<uint32_t>(acc_ >> (cnt_ - n)) & ((1u << n) - 1);
    }
    void skip(int n) {
        if (cnt_ < n) refill();
        cnt_ -= n;
        if (cnt_ < pad_) overrun_ = true;
    }
    uint32_t get(int n) {
        if (n == 0) return 0;
        uint32_t v = peek(n);
        skip(n);
        return v;
    }
    bool overrun() const { return overrun_; }
    bool read_failed() const { return in_.failed(); }

private:
    void refill() {
        while (cnt_ <= 56) {
            if (pos_ == len_) {
                len_ = 0;
                pos_ = 0;
                if (left_ > 0) {
                    size_t want = left_ < sizeof(buf_) ? static_cast<size_t>(left_) : sizeof(buf_);
                    len_ = in_.read(buf_, want);
                    left_ -= len_;
                    if (len_ == 0) left_ = 0;  // source ended early
                }
            }
            uint8_t b = 0;
            if (pos_ < len_) {
                b = buf_[pos_++];
            } else {
                pad_ += 8;  // zero padding after the end
            }
            acc_ = (acc_ << 8) | b;
            cnt_ += 8;
        }
        // Keep the padding counter relative to the bits still in acc_.
        if (pad_ > cnt_) pad_ = cnt_;
    }

    InStream& in_;
    uint64_t left_;
    uint8_t buf_[16384];
    size_t pos_ = 0, len_ = 0;
    uint64_t acc_ = 0;
    int cnt_ = 0;
    int pad_ = 0;  // how many of the low bits of acc_ are padding
    bool overrun_ = false;
};

}  // namespace lzh
