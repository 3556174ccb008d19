#include "archive/ArchiverCommand.h"

#include "engine/FileTreeSetting.h"
#include "engine/PathForms.h"

#include <windows.h>

#include <cwchar>

namespace sorvane {

namespace compress {

namespace {

bool isUtf(UINT codePage) { return codePage == CP_UTF7 || codePage == CP_UTF8; }

} // namespace

bool toAnsiExact(const std::wstring& text, std::string& out)
{
    out.clear();
    if (text.empty()) return true;
    const UINT codePage = ::GetACP();
    const int length = static_cast<int>(text.size());
    // The UTF code pages spell everything and take neither flag nor question.
    const DWORD flags = isUtf(codePage) ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const askDefault = isUtf(codePage) ? nullptr : &usedDefault;
    const int needed = ::WideCharToMultiByte(CP_ACP, flags, text.c_str(), length, nullptr, 0, nullptr, askDefault);
    if (needed <= 0 || usedDefault) return false;
    out.assign(static_cast<size_t>(needed), '\0');
    if (::WideCharToMultiByte(CP_ACP, flags, text.c_str(), length, &out[0], needed, nullptr, askDefault) != needed ||
        usedDefault) {
        out.clear();
        return false;
    }
    // Read back, the bytes must give the very same name.
    const int back = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out.data(), needed, nullptr, 0);
    std::wstring again(static_cast<size_t>(back > 0 ? back : 0), L'\0');
    if (back <= 0 || ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out.data(), needed, &again[0], back) != back ||
        again != text) {
        out.clear();
        return false;
    }
    return true;
}

std::string toAnsi(const std::wstring& text)
{
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int needed = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, &out[0], needed, nullptr, nullptr);
    return out;
}

std::wstring archiveName(const wchar_t* target)
{
    std::wstring name = target ? target : L"";
    const wchar_t* dot = extensionDot(name.c_str());
    if (!dot) return name + L".lzh";
    if (_wcsicmp(dot, L".exe") == 0) return name.substr(0, static_cast<size_t>(dot - name.c_str())) + L".lzh";
    return name;
}

std::string quotedName(const std::string& ansiName)
{
    const bool quote = ansiName.find(' ') != std::string::npos ||
                       (!ansiName.empty() && (ansiName[0] == '-' || ansiName[0] == '@'));
    return quote ? "\"" + ansiName + "\"" : ansiName;
}

std::string commandLine(bool update, const std::string& archive, const std::string& base,
                        const std::string& responseFile)
{
    std::string line = update ? "u " : "a ";
    line += quotedName(archive) + " ";
    line += quotedName(base) + " ";
    line += "-x1 ";
    line += "@" + responseFile; // runs to the end of the line, never quoted
    return line;
}

std::string selfExtractCommandLine(const FILE_TREE_SETTING& settings, const std::wstring& archive)
{
    std::wstring folder = archive;
    if (const wchar_t* separator = lastSeparator(archive.c_str())) {
        folder = archive.substr(0, static_cast<size_t>(separator - archive.c_str()));
    }
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    std::string line = "s -gw";
    const SelfExtractor extractor = settings.selfExtractor();
    if (extractor.english) line += "e";
    if (extractor.noSetupDialog) line += "2";
    line += " " + quotedName(toAnsi(archive)) + " " + toAnsi(folder);
    return line;
}

bool responseText(const std::vector<std::wstring>& names, std::string& text, size_t& failed)
{
    text.clear();
    std::string ansi;
    for (size_t i = 0; i < names.size(); ++i) {
        if (!toAnsiExact(names[i], ansi)) {
            failed = i;
            text.clear();
            return false;
        }
        text += quotedName(ansi);
        text += ' ';
    }
    return true;
}

} // namespace compress

} // namespace sorvane
