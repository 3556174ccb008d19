// Thin wrapper of the system's multi-language service, used to name the
// character set of a code page (for the charset of the HTML report).
#pragma once

#include <windows.h>

struct IMultiLanguage2;

namespace sorvane {

class CMLangEx {
public:
    CMLangEx() = default;
    virtual ~CMLangEx();
    CMLangEx(const CMLangEx&) = delete;
    CMLangEx& operator=(const CMLangEx&) = delete;

    // Copies the web character-set name of `codePage` (for 1252:
    // "windows-1252") into `buffer`, truncated to capacity - 1 characters.
    // True when at least one character was copied; on failure the buffer is
    // left as it was (a capacity of 1 yields an empty string and false).
    bool GetWebCharset(UINT codePage, wchar_t* buffer, int capacity);

private:
    bool ensureService();

    IMultiLanguage2* service_ = nullptr;
    HRESULT comResult_ = E_INVALIDARG; // E_INVALIDARG: COM not initialised yet
};

} // namespace sorvane
