// A small buffered writer over a file handle opened by the caller, used for
// the archiver's response file. A failed or short write throws a
// CMyArchiveException (as a pointer; the catcher deletes it).
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

namespace sorvane {

class CMyArchiveException {
public:
    enum Cause : unsigned { kGenericException = 0, kWriteFailed = 4 };
    explicit CMyArchiveException(unsigned cause) : cause_(cause) {}
    virtual ~CMyArchiveException() = default;
    unsigned cause() const noexcept { return cause_; }

private:
    unsigned cause_;
};

class CBufferedFileStream {
public:
    static constexpr size_t kBufferSize = 4096;

    explicit CBufferedFileStream(HANDLE file);
    ~CBufferedFileStream();
    CBufferedFileStream(const CBufferedFileStream&) = delete;
    CBufferedFileStream& operator=(const CBufferedFileStream&) = delete;

    void Write(const void* bytes, size_t length);
    void WriteText(const char* text);
    void Flush();
    // Flushes and detaches the file (which stays open), frees the buffer.
    // Never throws: returns false when the final flush failed and the
    // buffered bytes were lost.
    bool Close() noexcept;

    size_t buffered() const noexcept { return static_cast<size_t>(current_ - buffer_.get()); }

private:
    void writeToFile(const void* bytes, size_t length);

    HANDLE file_;
    std::unique_ptr<unsigned char[]> buffer_;
    unsigned char* current_ = nullptr;
    unsigned char* limit_ = nullptr;
};

} // namespace sorvane
