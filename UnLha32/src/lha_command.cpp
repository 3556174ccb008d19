#include "lha_command.h"

#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace unlha {

namespace {

struct Token {
    std::string text;
    size_t start;     // offset of the token's first character in the line
    bool quoted;      // some part of it was in quotes
};

std::vector<Token> tokenize_at(const std::string& text) {
    std::vector<Token> out;
    Token cur{std::string(), 0, false};
    bool in_token = false, quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!in_token) cur = Token{std::string(), i, false};
        if (c == '"') {
            quoted = !quoted;
            cur.quoted = true;
            in_token = true;
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (in_token) out.push_back(cur);
            in_token = false;
            continue;
        }
        cur.text.push_back(c);
        in_token = true;
    }
    if (in_token) out.push_back(cur);
    return out;
}

std::string trim_right(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.pop_back();
    return s;
}

}  // namespace

std::vector<std::string> tokenize(const std::string& text) {
    std::vector<std::string> out;
    for (Token& t : tokenize_at(text)) out.push_back(std::move(t.text));
    return out;
}

namespace {

bool parse_minute(const std::string& digits, LocalTime& t) {
    if (digits.size() != 12) return false;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    auto num = [&](size_t pos, size_t len) { return std::atoi(digits.substr(pos, len).c_str()); };
    t.year = num(0, 4);
    t.month = num(4, 2);
    t.day = num(6, 2);
    t.hour = num(8, 2);
    t.minute = num(10, 2);
    return t.year >= 1601 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour <= 23 &&
           t.minute <= 59;
}

bool lower_equal(const std::string& a, const char* b) {
    size_t n = 0;
    for (; b[n]; ++n)
        if (n >= a.size() || std::tolower(static_cast<unsigned char>(a[n])) != b[n]) return false;
    return n == a.size();
}

bool starts_with_lower(const std::string& a, const char* prefix) {
    for (size_t n = 0; prefix[n]; ++n)
        if (n >= a.size() || std::tolower(static_cast<unsigned char>(a[n])) != prefix[n]) return false;
    return true;
}

bool apply_switch(const std::string& sw, Command& cmd, std::string& error) {
    const std::string s = sw.substr(1);
    if (lower_equal(s, "x") || lower_equal(s, "x1") || lower_equal(s, "x2")) {
        cmd.store_paths = true;
    } else if (lower_equal(s, "x0")) {
        cmd.store_paths = false;
    } else if (lower_equal(s, "r") || lower_equal(s, "r1") || lower_equal(s, "r2")) {
        cmd.recurse = true;
    } else if (lower_equal(s, "r0")) {
        cmd.recurse = false;
    } else if (starts_with_lower(s, "jobl")) {
        if (!parse_minute(s.substr(4), cmd.older)) {
            error = "bad time in " + sw;
            return false;
        }
        cmd.has_older = true;
    } else if (starts_with_lower(s, "jol")) {
        if (!parse_minute(s.substr(3), cmd.newer)) {
            error = "bad time in " + sw;
            return false;
        }
        cmd.has_newer = true;
    } else if (starts_with_lower(s, "jx")) {
        if (s.size() == 2) {
            error = "-jx needs a pattern";
            return false;
        }
        cmd.excludes.push_back(s.substr(2));
    } else if (lower_equal(s, "o5") || lower_equal(s, "jm5")) {
        cmd.method = lzh::Method::Lh5;
    } else if (lower_equal(s, "o6") || lower_equal(s, "jm6")) {
        cmd.method = lzh::Method::Lh6;
    } else if (lower_equal(s, "o7") || lower_equal(s, "jm7")) {
        cmd.method = lzh::Method::Lh7;
    } else if (lower_equal(s, "jp2")) {
        cmd.thorough = true;
    } else if (lower_equal(s, "jp1")) {
        cmd.thorough = false;
    } else if (starts_with_lower(s, "gw")) {
        cmd.sfx_gui = true;
        for (size_t i = 2; i < s.size(); ++i) {
            char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
            if (c == 'e') cmd.sfx_english = true;
            else if (c == '2') cmd.sfx_no_dialog = true;
            else {
                error = "unknown self-extractor option in " + sw;
                return false;
            }
        }
    } else {
        error = "unknown switch " + sw;
        return false;
    }
    return true;
}

}  // namespace

bool parse_command(const std::string& line, const ResponseReader& read_response, Command& cmd,
                   std::string& error) {
    cmd = Command();
    std::vector<Token> toks = tokenize_at(line);
    // A response file named after '@' runs to the end of the line: callers
    // do not quote its path, which may hold blanks. Its names and switches
    // take its place (one level: a response file naming itself would
    // otherwise never end).
    // A token in quotes is always a name, never a switch: that is how a
    // file whose name starts with '-' is given.
    std::vector<Token> all;
    size_t line_end = line.size();
    for (const Token& t : toks) {
        if (t.start >= line_end) break;
        if (!t.quoted && t.text.size() > 1 && t.text[0] == '@') {
            const std::string path = trim_right(line.substr(t.start + 1));
            line_end = t.start;
            std::string content;
            if (!read_response || !read_response(path, content)) {
                error = "cannot read response file " + path;
                return false;
            }
            for (Token& r : tokenize_at(content)) all.push_back(std::move(r));
            break;
        }
        all.push_back(t);
    }
    // "s" takes its output folder unquoted as well: the rest of the line
    // after the archive name, when that is not a switch.
    if (!toks.empty() && (toks[0].text == "s" || toks[0].text == "S")) {
        for (size_t i = 1; i < toks.size(); ++i) {
            if (toks[i].text.empty() || toks[i].text[0] == '-') continue;
            // toks[i] is the archive; what follows is the folder.
            if (i + 1 < toks.size() && toks[i + 1].text[0] != '-') {
                const std::string folder = trim_right(line.substr(toks[i + 1].start));
                all.assign(toks.begin(), toks.begin() + static_cast<std::ptrdiff_t>(i + 1));
                const bool quoted = folder.size() > 1 && folder.front() == '"' && folder.back() == '"';
                all.push_back(Token{quoted ? folder.substr(1, folder.size() - 2) : folder, toks[i + 1].start, quoted});
            }
            break;
        }
    }
    if (all.empty()) {
        error = "empty command";
        return false;
    }
    const std::string verb = all[0].text;
    if (verb.size() != 1 || !std::strchr("ausAUS", verb[0])) {
        error = "unknown command " + verb;
        return false;
    }
    cmd.verb = static_cast<char>(std::tolower(static_cast<unsigned char>(verb[0])));
    for (size_t i = 1; i < all.size(); ++i) {
        const std::string& t = all[i].text;
        if (t.empty()) continue;
        if (!all[i].quoted && t[0] == '-' && t.size() > 1) {
            if (!apply_switch(t, cmd, error)) return false;
            continue;
        }
        if (cmd.archive.empty()) {
            cmd.archive = t;
        } else if (cmd.verb == 's') {
            if (!cmd.output_dir.empty()) {
                error = "too many names for s";
                return false;
            }
            cmd.output_dir = t;
        } else if (cmd.base_dir.empty() && cmd.names.empty() && (t.back() == '\\' || t.back() == '/')) {
            cmd.base_dir = t;
        } else {
            cmd.names.push_back(t);
        }
    }
    if (cmd.archive.empty()) {
        error = "no archive name";
        return false;
    }
    if (cmd.verb == 's' && !cmd.sfx_gui) {
        error = "s needs -gw";
        return false;
    }
    return true;
}

bool is_safe_relative_path(const std::string& path) {
    if (path.empty()) return false;
    if (path[0] == '\\' || path[0] == '/') return false;
    if (path.find(':') != std::string::npos) return false;  // drive letters, streams
    size_t start = 0;
    bool any = false;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) end = path.size();
        std::string comp = path.substr(start, end - start);
        if (comp == "..") return false;
        if (!comp.empty() && comp != ".") any = true;
        start = end + 1;
    }
    return any;
}

}  // namespace unlha
