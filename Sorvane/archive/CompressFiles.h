// "Filter Compress": translates the settings into one archiver command and
// one response file, calls the archiver library once (twice for a
// self-extracting archive) and reports success or failure.
#pragma once

#include <windows.h>

#include <string>

namespace sorvane {

class FILE_TREE_SETTING;
class CBufferedFileStream;

// 1 on success, 0 on failure; `message` (capacity units, zeroed by the
// caller) receives the reason of a failure when there is one.
int CompressFiles(const FILE_TREE_SETTING& settings, wchar_t* message, size_t messageCapacity);

namespace compress {

// Text handed to the library: UTF-16 converted to the ANSI code page.
std::string toAnsi(const std::wstring& text);
// The archive of `target`: ".lzh" appended when it has no extension, and in
// place of ".exe".
std::wstring archiveName(const wchar_t* target);
// The archive command line (without the terminating zero).
std::string commandLine(const FILE_TREE_SETTING& settings, const std::string& commandWord,
                        const std::wstring& archive, const std::wstring& responseFile);
// The self-extract command line for an archive made from `target`.
std::string selfExtractCommandLine(const FILE_TREE_SETTING& settings, const std::wstring& archive);
// Writes the entries of the response file.
void writeResponseFile(CBufferedFileStream& stream, const FILE_TREE_SETTING& settings);

} // namespace compress

} // namespace sorvane
