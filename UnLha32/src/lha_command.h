// The archiver's command language, parsed without any platform calls:
//   a|u archive [base\] [switches] [names...] [@response]
//   s -gw[e][2] archive [output\]
// Names and switches may be mixed after the archive; the first name that
// ends with a backslash is the base folder. "@file" names a response file
// and runs to the end of the line (its path is not quoted and may hold
// blanks); the file holds more names and switches, separated by blanks, with
// double quotes around names that contain blanks. The output folder of "s"
// is likewise the rest of the line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lzh_types.h"

namespace unlha {

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

struct Command {
    char verb = 0;                      // 'a', 'u' or 's'
    std::string archive;                // as given (ANSI)
    std::string base_dir;               // with a trailing backslash, or empty
    std::vector<std::string> names;     // names and wildcards, relative to base_dir
    std::vector<std::string> excludes;  // -jx patterns
    bool store_paths = false;           // -x1
    bool recurse = false;               // -r1
    bool has_newer = false;             // -jol: only files written at or after this minute
    LocalTime newer;
    bool has_older = false;             // -jobl: only files written before the end of this minute
    LocalTime older;
    lzh::Method method = lzh::Method::Lh7;  // -o5, -o6, -o7 (or -jm5/-jm6/-jm7)
    bool thorough = false;              // -jp2: optimal parse
    // Self-extractor options of "s -gw...".
    bool sfx_gui = false;
    bool sfx_english = false;
    bool sfx_no_dialog = false;
    std::string output_dir;             // where "s" puts the .exe
};

// Reads a response file's bytes; false when it cannot be read.
using ResponseReader = std::function<bool(const std::string& path, std::string& content)>;

// Splits text at blanks, tabs and line ends; double quotes group blanks
// into a token and are removed.
std::vector<std::string> tokenize(const std::string& text);

// Parses a command line. Returns false with a message for the caller's
// output buffer when the command is not understood.
bool parse_command(const std::string& line, const ResponseReader& read_response, Command& cmd,
                   std::string& error);

// Wildcard match in the manner of the Windows shell: '*' and '?', case
// insensitive for ASCII letters, "*.*" matching every name, "name." matching
// a name without extension. Works on narrow and wide strings.
template <class C>
bool wildcard_match(const std::basic_string<C>& pattern, const std::basic_string<C>& name) {
    auto lower = [](C c) { return (c >= 'A' && c <= 'Z') ? static_cast<C>(c - 'A' + 'a') : c; };
    auto match = [&](const C* p, const C* n) {
        const C* star = nullptr;
        const C* resume = nullptr;
        while (*n) {
            if (*p == '*') {
                star = p++;
                resume = n;
            } else if (*p == '?' || lower(*p) == lower(*n)) {
                ++p;
                ++n;
            } else if (star) {
                p = star + 1;
                n = ++resume;
            } else {
                return false;
            }
        }
        while (*p == '*') ++p;
        return *p == 0;
    };
    const size_t np = pattern.size();
    if ((np == 3 && pattern[0] == '*' && pattern[1] == '.' && pattern[2] == '*') ||
        (np == 1 && pattern[0] == '*'))
        return true;
    if (np > 1 && pattern[np - 1] == '.') {
        for (C c : name)
            if (c == '.') return false;
        std::basic_string<C> stem = pattern.substr(0, np - 1);
        return match(stem.c_str(), name.c_str());
    }
    return match(pattern.c_str(), name.c_str());
}

// True when `path` (backslash separated) may be created under a folder:
// not absolute, no drive letter, no "..", no empty result.
bool is_safe_relative_path(const std::string& path);

}  // namespace unlha
