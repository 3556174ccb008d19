#include "archive/BufferedStream.h"

#include <cstring>
#include <new>

namespace sorvane {

CBufferedFileStream::CBufferedFileStream(HANDLE file)
    : file_(file), buffer_(new (std::nothrow) unsigned char[kBufferSize])
{
    current_ = buffer_.get();
    limit_ = buffer_ ? buffer_.get() + kBufferSize : nullptr;
}

CBufferedFileStream::~CBufferedFileStream() { Close(); }

void CBufferedFileStream::writeToFile(const void* bytes, size_t length)
{
    DWORD written = 0;
    if (!file_ || file_ == INVALID_HANDLE_VALUE ||
        !::WriteFile(file_, bytes, static_cast<DWORD>(length), &written, nullptr) || written != length) {
        throw new CMyArchiveException(CMyArchiveException::kWriteFailed);
    }
}

void CBufferedFileStream::Flush()
{
    if (!buffer_) throw new CMyArchiveException(CMyArchiveException::kWriteFailed);
    const size_t length = buffered();
    if (length == 0) return;
    // The buffer is emptied whatever happens: failed bytes are not retried.
    current_ = buffer_.get();
    writeToFile(buffer_.get(), length);
}

void CBufferedFileStream::Write(const void* bytes, size_t length)
{
    if (length == 0) return;
    if (!buffer_) throw new CMyArchiveException(CMyArchiveException::kWriteFailed);
    const auto* source = static_cast<const unsigned char*>(bytes);
    const size_t room = static_cast<size_t>(limit_ - current_);
    const size_t first = length < room ? length : room;
    std::memcpy(current_, source, first);
    current_ += first;
    source += first;
    length -= first;
    if (length == 0) return;

    Flush();
    const size_t direct = length - length % kBufferSize;
    writeToFile(source, direct); // a write of 0 bytes when less than a buffer remains
    std::memcpy(current_, source + direct, length - direct);
    current_ += length - direct;
}

void CBufferedFileStream::WriteText(const char* text)
{
    if (!text) return;
    const size_t length = std::strlen(text);
    if (!buffer_) throw new CMyArchiveException(CMyArchiveException::kWriteFailed);
    if (length > static_cast<size_t>(limit_ - current_)) Flush();
    if (length < kBufferSize) {
        std::memcpy(current_, text, length);
        current_ += length;
    } else {
        Write(text, length);
    }
}

bool CBufferedFileStream::Close() noexcept
{
    bool flushed = true;
    if (file_ && buffer_) {
        try {
            Flush();
        } catch (CMyArchiveException* failure) {
            delete failure;
            flushed = false;
        }
    }
    file_ = nullptr;
    buffer_.reset();
    current_ = limit_ = nullptr;
    return flushed;
}

} // namespace sorvane
