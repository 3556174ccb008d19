// The files of a delete that the user's account was denied, handed to the
// program started as administrator: a list file (UTF-16LE, no byte-order
// mark, terminated) of the run's Recycle Bin and read-only protection
// settings and the files' full paths, one per line,
//
//     recycle=1
//     protect=1
//     C:\Data\locked.txt
//
// written where the elevated program accepts hand-off files (the program's
// own folder, else the user's temporary folder), and named on its command
// line with the XXH3-128 of the file's bytes, "/R:<32 hex digits>:<path>".
// The elevated program deletes exactly these files, with no filter, and
// only when the file it reads has that hash.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace sorvane {

struct RetryList {
    std::vector<std::wstring> paths; // full paths of files
    bool recycle = true;
    bool protectReadOnly = true;
};

// The list as the text of its file (without the terminator).
std::wstring encodeRetryList(const RetryList& list);
// Reads the text of a list file (`length` units, a terminator at the end
// allowed). False when it is not such a list or names no file.
bool decodeRetryList(const wchar_t* text, size_t length, RetryList& list);

// The XXH3-128 of `size` bytes as 32 lowercase hexadecimal digits, high
// half first (the hash's canonical byte order).
std::wstring retryHash(const void* bytes, size_t size);

// Writes the list into a new hand-off file in `programFolder` (ending with
// a backslash), or, when that folder cannot take it, in the user's
// temporary folder. Returns the command-line switch that names it with its
// hash ("/R:<hash>:<path>"), and its path in `file`; empty when neither
// folder took it.
std::wstring writeRetryList(const RetryList& list, const wchar_t* programFolder, std::wstring& file);

enum class RetryListStatus {
    Accepted,
    Unreadable,   // no such file, not a file on a disk, not a list, no file named
    HashDiffers,  // the file is not the list that was handed over
};

// Reads the list named by the parameter of "/R:" ("<hash>:<path>") into
// `list`; `file` receives the path (for the user's message). The list file
// is deleted after reading when it is a hand-off file in one of `folders`
// (as the hand-off of a selection is); any other file is left alone.
RetryListStatus readRetryList(const wchar_t* parameter, const std::vector<std::wstring>& folders, RetryList& list,
                              std::wstring& file);

} // namespace sorvane
