#include "archive/CompressFiles.h"

#include "common/Raii.h"
#include "base/Strings.h"
#include "engine/FileIdentity.h"
#include "engine/FileTreeSetting.h"
#include "engine/PathForms.h"
#include "archive/ArchiveReplacement.h"
#include "archive/ArchiverCommand.h"
#include "archive/BufferedStream.h"
#include "archive/CompressSelection.h"
#include "archive/CompressTexts.h"
#include "archive/LhaLibrary.h"

#include <cwchar>
#include <string>

namespace sorvane {

namespace {

constexpr DWORD kLibraryOutputBytes = 1024;

std::wstring fromAnsi(const char* text)
{
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 1) return {};
    std::wstring out(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], needed);
    out.resize(static_cast<size_t>(needed - 1));
    return out;
}

// "X:\..." or "\\server\share\..." (also in their "\\?\" forms), or a
// volume's own name ("\\?\Volume{...}\..."): a path that names its drive,
// share or volume. A name without them is no full path.
bool isFullPath(const std::wstring& path)
{
    switch (pathFormOf(path.c_str())) {
    case PathForm::Drive:
    case PathForm::LongDrive:
    case PathForm::DeviceDrive:
    case PathForm::LongOther: return true;
    case PathForm::Share:
    case PathForm::LongShare:
    case PathForm::DeviceShare: return rootLength(path.c_str()) != 0;
    default: return false;
    }
}

// The outcome text of one run, copied into the caller's buffer at the end.
class Outcome {
public:
    Outcome(wchar_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
    ~Outcome()
    {
        if (!buffer_ || capacity_ == 0 || text_.empty()) return;
        const size_t length = text_.size() < capacity_ ? text_.size() : capacity_ - 1;
        std::wmemcpy(buffer_, text_.data(), length);
        buffer_[length] = L'\0';
    }
    Outcome(const Outcome&) = delete;
    Outcome& operator=(const Outcome&) = delete;

    // Failure: the text `id` with a path, the system's message for `error`
    // on a line of its own.
    int fail(UINT id, const std::wstring& path = std::wstring(), DWORD error = 0)
    {
        text_ = path.empty() ? loadString(id) : formatString(id, path.c_str());
        if (error != 0) text_ += L"\n" + systemMessage(error);
        return 0;
    }
    int failWith(const std::wstring& text)
    {
        text_ = text;
        return 0;
    }
    void note(const std::wstring& text)
    {
        if (!text_.empty()) text_ += L"\n";
        text_ += text;
    }

private:
    wchar_t* buffer_;
    size_t capacity_;
    std::wstring text_;
};

// One library call; on failure the library's own account of it.
bool callLibrary(LhaLibrary& library, const std::string& command, std::wstring& failure)
{
    char output[kLibraryOutputBytes] = {};
    const int result = library.Call(nullptr, command.c_str(), output, kLibraryOutputBytes);
    if (result == 0) return true;
    output[kLibraryOutputBytes - 1] = '\0';
    const std::wstring detail = fromAnsi(output);
    failure = detail.empty() ? formatNumber(kIdsLibraryCode, result) : formatString(kIdsLibraryFailed, detail.c_str());
    return false;
}

// The response file in the user's temporary folder, removed when the
// object goes.
class ResponseFile {
public:
    ~ResponseFile()
    {
        if (!path_.empty()) ::DeleteFileW(path_.c_str());
    }
    // Creates the file and writes `text` into it; false with the system's error.
    bool write(const std::string& text, DWORD& error)
    {
        wchar_t folder[MAX_PATH] = {};
        wchar_t path[MAX_PATH] = {};
        if (::GetTempPathW(MAX_PATH, folder) == 0 || ::GetTempFileNameW(folder, L"Lha", 0, path) == 0) {
            error = ::GetLastError();
            return false;
        }
        path_ = path;
        UniqueFile file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            error = ::GetLastError();
            return false;
        }
        CBufferedFileStream stream(file.get());
        try {
            stream.Write(text.data(), text.size());
            stream.Flush();
        } catch (CMyArchiveException* failure) {
            delete failure;
            error = ::GetLastError();
            return false;
        }
        if (!stream.Close()) {
            error = ::GetLastError();
            return false;
        }
        return true;
    }
    const std::wstring& path() const noexcept { return path_; }

private:
    std::wstring path_;
};

} // namespace

int CompressFiles(const FILE_TREE_SETTING& settings, wchar_t* message, size_t messageCapacity, CompressedFiles* files)
{
    if (settings.kind() != kOperationCompress) return 0;
    LhaLibrary library;
    Outcome outcome(message, messageCapacity);

    // The archive, and what lies at its name now.
    const std::wstring target = settings.target ? settings.target : L"";
    if (target.find_first_not_of(L' ') == std::wstring::npos) return outcome.fail(kIdsNoArchiveName);
    // A name without its drive or share ("\\NewFile.lzh", "Data.lzh") would
    // land wherever the program happens to run.
    if (!isFullPath(target)) return outcome.fail(kIdsArchiveNotFullPath, target);
    const std::wstring archive = ordinaryFormOf(fullPathOf(compress::archiveName(target.c_str())));
    if (archive.empty()) return outcome.fail(kIdsArchiveNotFullPath, target);
    const DWORD attributes = ::GetFileAttributesW(archive.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return outcome.fail(kIdsArchiveIsFolder, archive);
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return outcome.fail(kIdsArchiveReadOnly, archive);

    // The files, chosen by the engine's walk and filter, once a killed run's
    // leftovers are gone from the archive's folder.
    sweepArchiveFolder(archive);
    CompressSelection selection;
    selectFilesToCompress(settings, archive, selection);
    if (selection.problem != 0) return outcome.fail(selection.problem, selection.problemPath, selection.problemError);
    if (selection.names.empty()) {
        // Nothing is called, nothing is written, the archive stays as it is.
        if (selection.missing > 0 && selection.missing == selection.selectedItems) {
            return outcome.fail(kIdsNothingExists);
        }
        if (files) files->nothingQualified = true;
        outcome.fail(kIdsNothingQualifies);
        if (selection.missing > 0) outcome.note(formatNumber(kIdsItemsMissing, selection.missing));
        if (selection.skippedLinks > 0) outcome.note(formatNumber(kIdsLinksSkipped, selection.skippedLinks));
        return 0;
    }

    // The library is loaded only now that something qualifies.
    if (!library.Acquire(message, messageCapacity)) return 0;

    // Every text the library gets must name exactly what it stands for.
    std::string response;
    size_t unspelled = 0;
    if (!compress::responseText(selection.names, response, unspelled)) {
        return outcome.fail(kIdsNoAnsiName, selection.base + selection.names[unspelled]);
    }
    std::string base;
    if (!compress::toAnsiExact(selection.base, base)) return outcome.fail(kIdsNoAnsiName, selection.base);
    std::string archiveAnsi;
    if (!compress::toAnsiExact(archive, archiveAnsi)) return outcome.fail(kIdsNoAnsiName, archive);

    // A new archive is made beside the old one and takes its place only
    // when complete; the other modes let the library update the archive,
    // which it writes to a temporary and renames as well.
    ArchiveReplacement replacement(archive);
    std::string libraryArchive = archiveAnsi;
    bool update = false;
    const ArchiveMode mode = settings.archiveMode();
    if (mode == ArchiveMode::New) {
        if (!replacement.prepare()) return outcome.fail(kIdsArchiveNotReplaced, archive, ::GetLastError());
        if (!compress::toAnsiExact(replacement.temporary(), libraryArchive)) {
            return outcome.fail(kIdsNoAnsiName, replacement.temporary());
        }
    } else if (mode == ArchiveMode::AddNewer) {
        update = exists;
    }

    ResponseFile responseFile;
    DWORD error = 0;
    if (!responseFile.write(response, error)) return outcome.fail(kIdsListNotWritten, std::wstring(), error);
    std::string responsePath;
    if (!compress::toAnsiExact(responseFile.path(), responsePath)) {
        return outcome.fail(kIdsNoAnsiName, responseFile.path());
    }

    std::wstring failure;
    if (!callLibrary(library, compress::commandLine(update, libraryArchive, base, responsePath), failure)) {
        return outcome.failWith(failure);
    }
    if (mode == ArchiveMode::New && !replacement.commit(error)) {
        return outcome.fail(kIdsArchiveNotReplaced, archive, error);
    }
    if (selection.missing > 0) outcome.note(formatNumber(kIdsItemsMissing, selection.missing));
    if (selection.skippedLinks > 0) outcome.note(formatNumber(kIdsLinksSkipped, selection.skippedLinks));

    if (settings.selfExtractor().make) {
        if (!callLibrary(library, compress::selfExtractCommandLine(settings, archive), failure)) {
            return outcome.failWith(failure);
        }
    }
    if (files) {
        files->archive = archive;
        files->base = selection.base;
        files->names = std::move(selection.names);
    }
    return 1;
}

} // namespace sorvane
