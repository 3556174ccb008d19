// The file writer under the HTML report: creates or truncates one file,
// appends byte strings and UTF-16 text converted to UTF-8, and serialises
// every open, write and close with a mutex shared by the processes of the
// user's session. The file is shared for reading, so that a browser can
// show the report while the run still writes it.
//
// Writes are gathered in a buffer and reach the file in blocks of whole
// records (a report row is one record), each block in one critical section
// of the shared mutex: rows of two processes never interleave inside a
// row, and a run of twenty thousand rows costs a few hundred writes, not a
// hundred thousand. The buffer goes to the file when it holds enough, when
// it has waited long enough, on Flush() and on Close(): a run that is
// cancelled or fails loses nothing, and a closed log is complete on disk.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace sorvane {

// Creates (or opens) the named mutex "Local\<name>" of the user's session,
// with the default security of the calling account; null when none can be
// had.
HANDLE openSharedMutex(bool initialOwner, const wchar_t* name);

class CLog {
public:
    static constexpr const wchar_t* kMutexName = L"{0125B6BC-B2C6-4531-85FB-9F093CCAC456}";
    // The buffer is written out once it holds this much...
    static constexpr size_t kFlushBytes = 64 * 1024;
    // ...or once its oldest record has waited this long (milliseconds).
    static constexpr unsigned kFlushMilliseconds = 500;
    // The longest wait for the shared mutex. Whoever holds it longer (a
    // stalled process of any account in the session) does not stall the
    // run: it writes on without the mutex.
    static constexpr DWORD kLockWaitMilliseconds = 10000;
    // The wait of every log made afterwards; 0 restores kLockWaitMilliseconds.
    // Returns the previous value. For tests, which cannot wait that long.
    static DWORD setLockWait(DWORD milliseconds) noexcept;
    static DWORD lockWait() noexcept;
    // The name of the mutex of every log made afterwards; null restores
    // kMutexName. Returns the previous one. For tests that hold the mutex
    // from another process: with a name of their own they stall only their
    // own runs, never the reports of the tests beside them. `name` must
    // outlive the logs made with it.
    static const wchar_t* setMutexName(const wchar_t* name) noexcept;

    CLog();
    virtual ~CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // Creates the file (and its folders), truncating an existing one.
    virtual bool Open(const wchar_t* path);
    // Writes what is buffered, closes the file and the mutex handle.
    virtual void Close();

    // Appends a zero-terminated byte string (null: nothing), then CR LF.
    void Write(const char* bytes, bool newline);
    // Appends UTF-16 text converted to UTF-8, then CR LF.
    void WriteText(const wchar_t* text, bool newline);
    // The same for the first `length` units of `text`.
    void WriteText(const wchar_t* text, size_t length, bool newline);
    // Writes what is buffered to the file now.
    void Flush();

    bool isOpen() const noexcept { return file_ != INVALID_HANDLE_VALUE; }
    const wchar_t* path() const noexcept { return path_; }
    size_t buffered() const noexcept { return buffer_.size(); }
    // True once a wait for the shared mutex gave up; every later write of
    // this log goes on without waiting (it takes the mutex only when free).
    bool lockGivenUp() const noexcept { return lockGivenUp_; }
    DWORD lockWaitMilliseconds() const noexcept { return lockWait_; }

protected:
    // Keeps the writes made during its life together as one record: the
    // buffer is written out only at a record's end.
    class Record {
    public:
        explicit Record(CLog& log) noexcept : log_(log) { ++log_.recordDepth_; }
        ~Record() { log_.endRecord(); }
        Record(const Record&) = delete;
        Record& operator=(const Record&) = delete;

    private:
        CLog& log_;
    };

private:
    // Holds the shared mutex for one operation (recursive, as kernel
    // mutexes are).
    class Lock {
    public:
        explicit Lock(CLog& log) noexcept;
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        HANDLE mutex_;
    };

    void closeFile();
    void endRecord() noexcept;

    HANDLE mutex_ = nullptr;
    DWORD lockWait_;
    bool lockGivenUp_ = false;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::string buffer_;           // records not yet in the file
    unsigned long long bufferSince_ = 0; // tick count of the oldest buffered record
    int recordDepth_ = 0;
    wchar_t path_[MAX_PATH] = {};
};

} // namespace sorvane
