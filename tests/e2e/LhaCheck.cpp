#include "LhaCheck.h"

#include "UnixSide.h"

#include <windows.h>

#include <cstdlib>

namespace sorvane::e2e {

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string fromHex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
    }
    return bytes;
}

} // namespace

std::string lhasaCase(const std::string& path)
{
    for (char c : path) {
        if (c >= 'a' && c <= 'z') return path;
    }
    std::string lowered = path;
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

std::string lhasaShown(const std::string& path)
{
    std::string shown = lhasaCase(path);
    for (char& c : shown) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) c = '?';
    }
    return shown;
}

std::string sevenShown(const std::string& path)
{
    std::string shown = path;
    for (char& c : shown) {
        if (c == '\\') c = '/';
    }
    return shown;
}

std::string memberPath(const std::wstring& relative)
{
    const int length = static_cast<int>(relative.size());
    const int needed = ::WideCharToMultiByte(CP_ACP, 0, relative.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) ::WideCharToMultiByte(CP_ACP, 0, relative.c_str(), length, &bytes[0], needed, nullptr, nullptr);
    // A backslash between parts, never a trail byte that looks like one.
    std::string path;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (::IsDBCSLeadByte(c) && i + 1 < bytes.size()) {
            path += bytes[i];
            path += bytes[++i];
        } else {
            path += c == '\\' ? '/' : bytes[i];
        }
    }
    return path;
}

bool ansiSpells(const std::wstring& text)
{
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int needed =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), length, nullptr, 0, nullptr, &usedDefault);
    if (needed <= 0 || usedDefault) return false;
    std::string bytes(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), length, &bytes[0], needed, nullptr, &usedDefault);
    const int back = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), needed, nullptr, 0);
    std::wstring again(static_cast<size_t>(back > 0 ? back : 0), L'\0');
    if (back > 0) ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), needed, &again[0], back);
    return !usedDefault && again == text;
}

ArchiveCheck checkArchive(const std::wstring& windowsPath)
{
    ArchiveCheck check;
    const std::string archive = test::unixPathOf(windowsPath);
    if (archive.empty()) return check;
    const std::string script = "a=" + test::shellQuoted(archive) +
                               "\n"
                               "echo '== LHASA_T'; lhasa t \"$a\" > /dev/null 2>&1; echo \"== RC $?\"\n"
                               "echo '== LHASA_L'; lhasa l \"$a\"; echo \"== RC $?\"\n"
                               "echo '== 7ZZ_T'; 7zz t \"$a\" > t7.txt 2>&1; r=$?; grep -q 'Everything is Ok' t7.txt || r=1; "
                               "echo \"== RC $r\"\n"
                               "echo '== 7ZZ_L'; 7zz l -slt \"$a\" > l7.txt 2>&1; r=$?; "
                               "sed -n '/^----------$/,$p' l7.txt | grep -a '^Path = '; echo \"== RC $r\"\n"
                               "echo '== LHASA_X'; mkdir x && (cd x && lhasa xq \"$a\") > /dev/null 2>&1; echo \"== RC $?\"\n"
                               "echo '== FILES'; (cd x && find . -type f -exec sh -c 'for f; do printf \"FILE %s\\n\" "
                               "\"${f#./}\"; od -An -v -tx1 \"$f\" | tr -d \" \\n\"; printf \"\\n\"; done' sh {} +); "
                               "echo \"== RC $?\"\n"
                               // Extracted names may hold bytes no Windows name can (a 0x5C
                               // trail byte): the Unix side removes them.
                               "rm -rf x\n";
    test::ShellResult result;
    if (!test::runShell(script, result)) return check;
    check.output = result.output;
    check.ran = result.exitCode == 0;

    std::string section;
    size_t nameColumn = std::string::npos;
    int separators = 0;
    std::string pendingFile;
    bool expectContent = false;
    for (const std::string& line : lines(result.output)) {
        if (line.rfind("== RC ", 0) == 0) {
            const int code = std::atoi(line.c_str() + 6);
            if (section == "LHASA_T") check.lhasaTest = code;
            else if (section == "7ZZ_T") check.sevenTest = code;
            else if (section == "LHASA_X") check.lhasaExtract = code;
            else if (code != 0) check.ran = false;
            section.clear();
            continue;
        }
        if (line.rfind("== ", 0) == 0 && line.find(' ', 3) == std::string::npos) {
            section = line.substr(3);
            continue;
        }
        if (section == "LHASA_L") {
            if (line.rfind("----------", 0) == 0) {
                // The last run of dashes stands over the names.
                nameColumn = line.rfind(' ') + 1;
                ++separators;
            } else if (separators == 1 && line.size() > nameColumn) {
                check.lhasaNames.push_back(line.substr(nameColumn));
            }
        } else if (section == "7ZZ_L") {
            if (line.rfind("Path = ", 0) == 0) check.sevenNames.push_back(line.substr(7));
        } else if (section == "FILES") {
            if (expectContent) {
                check.extracted[pendingFile] = fromHex(line);
                expectContent = false;
            } else if (line.rfind("FILE ", 0) == 0) {
                pendingFile = line.substr(5);
                expectContent = true;
            }
        }
    }
    return check;
}

} // namespace sorvane::e2e
