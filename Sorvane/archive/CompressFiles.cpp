#include "CompressFiles.h"

#include "../../common/Raii.h"
#include "../engine/FileTreeSetting.h"
#include "../engine/PathUtil.h"
#include "BufferedStream.h"
#include "LhaLibrary.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace sorvane {

namespace compress {

namespace {

constexpr size_t kNameLimit = 259;

std::string quotedIfBlank(const std::string& text)
{
    return text.find(' ') == std::string::npos ? text : "\"" + text + "\"";
}

bool isDriveRootList(const std::wstring& list)
{
    // "X:\;" or "X:\;;": the root of a drive selected alone.
    const bool rootHead = list.size() >= 4 && list[1] == L':' && list[2] == L'\\' && list[3] == L';';
    return rootHead && (list.size() == 4 || (list.size() == 5 && list[4] == L';'));
}

std::vector<std::wstring> splitPatterns(const wchar_t* patterns)
{
    std::vector<std::wstring> list;
    std::wstring current;
    for (const wchar_t* p = patterns; p && *p; ++p) {
        if (*p == L';') {
            // An empty pattern would stand for a whole folder: it is left out.
            if (!current.empty()) list.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    if (!current.empty()) list.push_back(current);
    return list;
}

void entry(CBufferedFileStream& stream, const std::wstring& text)
{
    const std::string ansi = toAnsi(text) + " ";
    stream.WriteText(ansi.c_str());
}

std::string timeSwitch(const char* name, const FILETIME& time)
{
    SYSTEMTIME st = {};
    ::FileTimeToSystemTime(&time, &st); // stored as local time already
    char text[32];
    std::snprintf(text, sizeof(text), "%s%04d%02d%02d%02d%02d", name, st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute);
    return text;
}

} // namespace

std::string toAnsi(const std::wstring& text)
{
    if (text.empty()) return {};
    const UINT codePage = ::GetACP();
    const DWORD flags = (codePage == 65000 || codePage == 65001) ? 0 : WC_COMPOSITECHECK;
    const int needed = ::WideCharToMultiByte(CP_ACP, flags, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, flags, text.c_str(), static_cast<int>(text.size()), out.data(), needed, nullptr,
                          nullptr);
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

std::string commandLine(const FILE_TREE_SETTING& settings, const std::string& commandWord,
                        const std::wstring& archive, const std::wstring& responseFile)
{
    const std::wstring sources = settings.sources ? settings.sources : L"";
    std::wstring base = sources.substr(0, sources.find(L';'));
    if (base.empty() || base.back() != L'\\') base += L'\\';

    std::string line = commandWord;
    line += quotedIfBlank(toAnsi(archive)) + " ";
    line += quotedIfBlank(toAnsi(base)) + " ";
    line += "-x1 ";
    if (settings.includeSubfolders) line += "-r1 ";
    if (settings.timeMode == 1) {
        line += timeSwitch("-jol", settings.timeFrom) + " " + timeSwitch("-jobl", settings.timeTo) + " ";
    }
    line += "@" + toAnsi(responseFile);
    return line;
}

std::string selfExtractCommandLine(const FILE_TREE_SETTING& settings, const std::wstring& archive)
{
    const std::wstring target = settings.target ? settings.target : L"";
    std::wstring folder = target;
    if (const wchar_t* separator = lastSeparator(target.c_str())) {
        folder = target.substr(0, static_cast<size_t>(separator - target.c_str()));
    }
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    std::string line = "s -gw";
    if (settings.sizeClass & 2) line += "e";
    if (settings.sizeClass & 1) line += "2";
    line += " " + quotedIfBlank(toAnsi(archive)) + " " + toAnsi(folder);
    return line;
}

void writeResponseFile(CBufferedFileStream& stream, const FILE_TREE_SETTING& settings)
{
    const std::wstring list = settings.sources ? settings.sources : L"";
    const std::vector<std::wstring> patterns = splitPatterns(settings.patterns);
    const bool exclude = settings.excludePatterns != 0;

    const size_t firstSeparator = list.find(L';');
    if (firstSeparator == std::wstring::npos) {
        if (exclude) {
            entry(stream, L"*.*");
            for (const std::wstring& p : patterns) entry(stream, L"-jx" + p);
        } else {
            for (const std::wstring& p : patterns) entry(stream, p);
        }
        return;
    }

    std::wstring parent = list.substr(0, firstSeparator);
    if (!parent.empty() && parent.back() != L'\\') parent += L'\\';
    const bool rootList = isDriveRootList(list);
    bool rootDone = false;
    size_t start = firstSeparator + 1;
    // Only names followed by a ';' are entries.
    for (size_t end = list.find(L';', start); end != std::wstring::npos; start = end + 1, end = list.find(L';', start)) {
        std::wstring name = list.substr(start, end - start);
        if (name.size() > kNameLimit) name.resize(kNameLimit);
        if (name.empty()) {
            if (!rootList || rootDone) continue;
            rootDone = true;
            if (exclude) {
                entry(stream, L"\\*.*");
            } else {
                for (const std::wstring& p : patterns) entry(stream, p);
            }
            continue;
        }
        switch (pathKind((parent + name).c_str())) {
        case kPathFolder:
            if (exclude) {
                entry(stream, name + L"\\*.*");
            } else {
                for (const std::wstring& p : patterns) entry(stream, name + L"\\" + p);
            }
            break;
        case kPathFile:
            entry(stream, name);
            break;
        default:
            break;
        }
    }
    // A drive root whose list holds a single separator ("X:\;") has no
    // empty name before a ';': it still stands for the whole drive.
    if (rootList && !rootDone) {
        if (exclude) {
            entry(stream, L"\\*.*");
        } else {
            for (const std::wstring& p : patterns) entry(stream, p);
        }
    }
    if (exclude) {
        for (const std::wstring& p : patterns) entry(stream, L"-jx" + p);
    }
}

} // namespace compress

namespace {

// A new archive must not meet the old one, but the old one is only given up
// once the new one exists: it waits under another name meanwhile.
class ArchiveAside {
public:
    explicit ArchiveAside(const std::wstring& archive) : archive_(archive) {}
    ~ArchiveAside() { restore(); }
    ArchiveAside(const ArchiveAside&) = delete;
    ArchiveAside& operator=(const ArchiveAside&) = delete;

    bool moveAside()
    {
        for (int i = 0; i < 1000; ++i) {
            const std::wstring candidate = archive_ + L".old" + std::to_wstring(i);
            if (pathKind(candidate.c_str()) != kPathMissing) continue;
            if (::MoveFileExW(archive_.c_str(), candidate.c_str(), 0)) {
                aside_ = candidate;
                return true;
            }
            return false;
        }
        return false;
    }
    // The new archive was made: the old one goes.
    void commit()
    {
        if (!aside_.empty()) ::DeleteFileW(aside_.c_str());
        aside_.clear();
    }

private:
    void restore()
    {
        if (aside_.empty()) return;
        // Whatever the failed run left in its place goes, the old one returns.
        ::DeleteFileW(archive_.c_str());
        ::MoveFileExW(aside_.c_str(), archive_.c_str(), MOVEFILE_REPLACE_EXISTING);
        aside_.clear();
    }

    std::wstring archive_;
    std::wstring aside_;
};

} // namespace

int CompressFiles(const FILE_TREE_SETTING& settings, wchar_t* message, size_t messageCapacity)
{
    if (settings.kind() != kOperationCompress) return 0;
    LhaLibrary library;
    if (!library.Acquire(message, messageCapacity)) return 0;

    // The response file, in the user's temporary folder.
    wchar_t tempFolder[MAX_PATH] = {};
    wchar_t responsePath[MAX_PATH] = {};
    if (::GetTempPathW(MAX_PATH, tempFolder) == 0 || ::GetTempFileNameW(tempFolder, L"Lha", 0, responsePath) == 0) {
        return 0;
    }
    UniqueFile response(
        ::CreateFileW(responsePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ScopeExit removeResponse([&] {
        response.reset();
        ::DeleteFileW(responsePath);
    });
    if (!response) return 0;

    const std::wstring archive = compress::archiveName(settings.target);
    const bool exists = pathKind(archive.c_str()) != kPathMissing;
    ArchiveAside previous(archive);
    std::string word = "a ";
    if (settings.overwrite == 0) {
        if (exists && !previous.moveAside()) return 0;
    } else if (settings.overwrite == 1 && exists) {
        word = "u ";
    }
    const std::string command = compress::commandLine(settings, word, archive, responsePath);

    {
        CBufferedFileStream stream(response.get());
        try {
            compress::writeResponseFile(stream, settings);
            stream.Flush();
        } catch (CMyArchiveException* failure) {
            delete failure;
            return 0;
        }
        if (!stream.Close()) return 0;
    }
    response.reset();

    bool success = library.Call(nullptr, command.c_str(), nullptr, 0) == 0;
    removeResponse.dismiss();
    ::DeleteFileW(responsePath);
    if (success) previous.commit();

    if (success && settings.sizeLimitIsMaximum) {
        const std::string selfExtract = compress::selfExtractCommandLine(settings, archive);
        success = library.Call(nullptr, selfExtract.c_str(), nullptr, 0) == 0;
    }
    return success ? 1 : 0;
}

} // namespace sorvane
