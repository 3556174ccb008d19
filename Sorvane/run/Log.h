// The file writer under the HTML report: creates or truncates one file,
// appends byte strings and UTF-16 text converted to the ANSI code page, and
// serialises every open, write and close with a mutex shared by all
// processes of the system.
#pragma once

#include <windows.h>

#include <string>

namespace sorvane {

// Creates (or opens) a named mutex, in the global namespace first when
// asked, readable and writable by every account; null when none can be had.
HANDLE openSharedMutex(bool initialOwner, const wchar_t* name, bool tryGlobal);

class CLog {
public:
    static constexpr const wchar_t* kMutexName = L"{0125B6BC-B2C6-4531-85FB-9F093CCAC456}";

    CLog();
    virtual ~CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // Creates the file (and its folders), truncating an existing one.
    virtual bool Open(const wchar_t* path);
    // Closes the file and the mutex handle.
    virtual void Close();

    // Appends a zero-terminated byte string (null: nothing), then CR LF.
    void Write(const char* bytes, bool newline);
    // Appends UTF-16 text converted to the ANSI code page, then CR LF.
    void WriteText(const wchar_t* text, bool newline);

    bool isOpen() const noexcept { return file_ != INVALID_HANDLE_VALUE; }
    const wchar_t* path() const noexcept { return path_; }

private:
    // Holds the shared mutex for one operation (recursive, as kernel
    // mutexes are).
    class Lock {
    public:
        explicit Lock(HANDLE mutex) noexcept;
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        HANDLE mutex_;
    };

    void closeFile();

    HANDLE mutex_ = nullptr;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::string conversion_; // the ANSI form of the last text written
    wchar_t path_[MAX_PATH] = {};
};

} // namespace sorvane
