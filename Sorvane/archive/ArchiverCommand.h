// The texts handed to the archiver library: the ANSI form of names (exact,
// or refused), the archive's name, the command lines and the response file
// that lists the chosen files one by one.
#pragma once

#include <string>
#include <vector>

namespace sorvane {

class FILE_TREE_SETTING;

namespace compress {

// `text` in the ANSI code page. False when a character has no exact form
// there: a default character, a best-fit look-alike or a changed
// composition would name another file, or with '?' a wildcard.
bool toAnsiExact(const std::wstring& text, std::string& out);
// `text` in the ANSI code page as far as it goes (for texts that only
// travel back to the user).
std::string toAnsi(const std::wstring& text);
// The archive of `target`: ".lzh" appended when it has no extension, and in
// place of ".exe".
std::wstring archiveName(const wchar_t* target);
// A name in double quotes when it holds a blank, or starts with '-' or
// '@' (so that it is never taken for a switch or a response file).
std::string quotedName(const std::string& ansiName);
// "a archive base\ -x1 @response" ("u " for `update`): the files come from
// the response file alone, without -r1, patterns or a time range.
std::string commandLine(bool update, const std::string& archive, const std::string& base,
                        const std::string& responseFile);
// The self-extract command line for `archive` (a full path whose ANSI form
// is exact), the program made in the archive's folder.
std::string selfExtractCommandLine(const FILE_TREE_SETTING& settings, const std::wstring& archive);
// The response file: every name (relative to the base folder), quoted as
// `quotedName` says and followed by one blank. False, with the index of the
// first name that has no exact ANSI form in `failed`, when one has none.
bool responseText(const std::vector<std::wstring>& names, std::string& text, size_t& failed);

} // namespace compress

} // namespace sorvane
