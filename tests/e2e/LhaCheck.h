// An archive looked at by other LHA programs on the Unix side: "lhasa t"
// and "7zz t" test it, "lhasa l" and "7zz l" list it, "lhasa x" extracts
// it, and every extracted file comes back with its bytes.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace sorvane::e2e {

struct ArchiveCheck {
    bool ran = false;                  // the checks ran to their end
    int lhasaTest = -1;                // exit code of "lhasa t"
    int sevenTest = -1;                // 0 when "7zz t" said "Everything is Ok"
    int lhasaExtract = -1;             // exit code of "lhasa x"
    std::vector<std::string> lhasaNames;         // "lhasa l", as it prints them
    std::vector<std::string> sevenNames;         // "7zz l -slt", the bytes of each path
    std::map<std::string, std::string> extracted; // "lhasa x": path ('/') -> bytes
    std::string output;                // everything the tools said, for failure messages
};

// Runs the checks on the archive at `windowsPath`.
ArchiveCheck checkArchive(const std::wstring& windowsPath);

// A member path as lhasa names it: a path of an MS-DOS archive without any
// lower-case letter comes out in lower case ("UPPER.TXT" as "upper.txt").
std::string lhasaCase(const std::string& path);
// ... and as "lhasa l" prints it: bytes outside printable ASCII as '?'.
std::string lhasaShown(const std::string& path);

// A member path as "7zz l" prints it: 7zz knows no double-byte code page,
// so a trail byte 0x5C (a backslash in ASCII) comes out as a separator.
std::string sevenShown(const std::string& path);

// The path bytes of a file relative to the base folder as an archive
// stores them: the ANSI form, '/' between the parts.
std::string memberPath(const std::wstring& relative);
// True when the ANSI code page spells `text` exactly (no default
// character, no best-fit look-alike).
bool ansiSpells(const std::wstring& text);

} // namespace sorvane::e2e
