#include "run/LogHtml.h"

#include "common/Raii.h"
#include "base/Strings.h"
#include "engine/FileTreeSetting.h"
#include "engine/PathForms.h"
#include "res/SorvaneRes.h"
#include "run/ConsoleCommand.h"

#include <cstdio>
#include <cwchar>

namespace sorvane {

namespace {

constexpr size_t kCellLimit = 255;
constexpr const wchar_t* kRegistryKey = L"SOFTWARE\\Brenmoor\\Sorvane";
constexpr const wchar_t* kRegistryValue = L"LogFileNo";

enum : UINT {
    kIdsMinimum = IDS_MINIMUM,
    kIdsMaximum = IDS_MAXIMUM,
    kIdsCopyFrom = IDS_REPORT_COPY_FROM,
    kIdsCopyTo = IDS_REPORT_COPY_TO,
    kIdsMoveFrom = IDS_REPORT_MOVE_FROM,
    kIdsMoveTo = IDS_REPORT_MOVE_TO,
    kIdsDelete = IDS_REPORT_DELETE,
    kIdsPatterns = IDS_REPORT_PATTERNS,
    kIdsSubfolders = IDS_REPORT_SUBFOLDERS,
    kIdsExclude = IDS_REPORT_EXCLUDE,
    kIdsModifiedTime = IDS_REPORT_MODIFIED_TIME,
    kIdsDontConcern = IDS_REPORT_TIME_ANY,
    kIdsFromTo = IDS_REPORT_FROM_TO,
    kIdsFileSize = IDS_REPORT_FILE_SIZE,
    kIdsSizeAny = IDS_REPORT_SIZE_ANY,
    kIdsSizeSmall = IDS_REPORT_SIZE_SMALL,
    kIdsSizeMiddle = IDS_REPORT_SIZE_MIDDLE,
    kIdsSizeLarge = IDS_REPORT_SIZE_LARGE,
    kIdsOverwrite = IDS_REPORT_OVERWRITE,
    kIdsOverwriteAlways = IDS_REPORT_OVERWRITE_ALWAYS,
    kIdsOverwriteIfNewer = IDS_REPORT_OVERWRITE_NEWER,
    kIdsOverwriteNever = IDS_REPORT_OVERWRITE_NEVER,
    kIdsRecycle = IDS_REPORT_RECYCLE,
    kIdsProtect = IDS_REPORT_PROTECT,
    kIdsTestOnly = IDS_REPORT_TEST_ONLY,
    kIdsYes = IDS_YES,
    kIdsNo = IDS_NO,
    kIdsCloneTree = IDS_REPORT_CLONE_TREE,
    kIdsVerifyCopies = IDS_REPORT_VERIFY_COPIES,
    kIdsCommandLine = IDS_REPORT_COMMAND_LINE,
};

// Cuts `text` to at most `limit` UTF-16 units, never between the two
// units of a surrogate pair: a pair that would be split goes as a whole.
void cutAt(std::wstring& text, size_t limit)
{
    if (text.size() <= limit) return;
    if (limit > 0 && IS_HIGH_SURROGATE(text[limit - 1]) && IS_LOW_SURROGATE(text[limit])) --limit;
    text.resize(limit);
}

std::wstring cut(std::wstring text)
{
    cutAt(text, kCellLimit);
    return text;
}

UINT yesNo(uint32_t flag) { return flag > 0 ? kIdsYes : kIdsNo; }

UINT sizeClassText(SizeClass sizeClass)
{
    switch (sizeClass) {
    case kSizeSmall: return kIdsSizeSmall;
    case kSizeMiddle: return kIdsSizeMiddle;
    case kSizeLarge: return kIdsSizeLarge;
    default: return kIdsSizeAny;
    }
}

UINT overwriteText(OverwritePolicy policy)
{
    switch (policy) {
    case OverwritePolicy::IfNewer: return kIdsOverwriteIfNewer;
    case OverwritePolicy::Never: return kIdsOverwriteNever;
    case OverwritePolicy::Always: break;
    }
    return kIdsOverwriteAlways;
}

// Replaces the first "%s" of `format` with `argument` (our strings take
// their arguments in order).
std::wstring substitute(std::wstring format, const std::wstring& argument)
{
    const size_t at = format.find(L"%s");
    if (at != std::wstring::npos) format.replace(at, 2, argument);
    return format;
}

} // namespace

namespace report {

std::string colourText(COLORREF colour)
{
    char text[8];
    std::snprintf(text, sizeof(text), "#%02X%02X%02X", static_cast<unsigned>(colour & 0xFF),
                  static_cast<unsigned>((colour >> 8) & 0xFF), static_cast<unsigned>((colour >> 16) & 0xFF));
    return text;
}

std::wstring spacedList(const wchar_t* list)
{
    std::wstring out;
    for (const wchar_t* p = list; p && *p; ++p) {
        out += *p;
        if (*p == L';') out += L' ';
    }
    return out;
}

std::wstring timeText(const FILETIME& utc)
{
    SYSTEMTIME universal = {};
    SYSTEMTIME local = {};
    if (!::FileTimeToSystemTime(&utc, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return {};
    }
    wchar_t date[64] = {};
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &local, nullptr, date, 64);
    wchar_t clock[32];
    std::swprintf(clock, 32, L"-%d:%d:%d", local.wHour, local.wMinute, local.wSecond);
    return std::wstring(date) + clock;
}

std::wstring chooseNumberedPath(const wchar_t* dataFolder, const wchar_t* stem, const wchar_t* registryValue)
{
    int32_t number = 0;
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                          key.put(), nullptr) == ERROR_SUCCESS) {
        DWORD value = 0;
        DWORD size = sizeof(value);
        DWORD type = 0;
        if (::RegQueryValueExW(key.get(), registryValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof(value)) {
            number = static_cast<int32_t>(value);
        }
    }
    wchar_t path[MAX_PATH + 32];
    std::swprintf(path, MAX_PATH + 32, L"%ls%ls%d.htm", dataFolder ? dataFolder : L"", stem, number);
    if (key) {
        // Signed remainder: -1 gives 0, 15 gives 0.
        const DWORD next = static_cast<DWORD>((static_cast<int64_t>(number) + 1) % 16);
        ::RegSetValueExW(key.get(), registryValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&next), sizeof(next));
    }
    return path;
}

std::wstring chooseReportPath(const wchar_t* dataFolder)
{
    return chooseNumberedPath(dataFolder, L"SorvaneLog", kRegistryValue);
}

} // namespace report

CLogHtml::~CLogHtml() = default;

void CLogHtml::WriteHead(const wchar_t* generator, const wchar_t* title)
{
    Record record(*this);
    // A standards-mode page: without the doctype, browsers lay it out in
    // quirks mode.
    Write("<!DOCTYPE html>", true);
    Write("<html>\r\n<head>", true);
    // Every name as it is: the report is UTF-8, whatever the code page.
    Write("<meta charset=\"utf-8\">", true);
    Write("<meta name=\"GENERATOR\" content=\"", false);
    writeEscaped(generator);
    Write("\">", true);
    Write("<title>", false);
    writeEscaped(title);
    Write("</title>", true);
    Write("</head>\r\n<body>", true);
}

void CLogHtml::writeEscaped(const wchar_t* text)
{
    if (!text) return;
    const wchar_t* run = text;
    for (const wchar_t* at = text;; ++at) {
        const wchar_t c = *at;
        const char* entity = nullptr;
        switch (c) {
        case L'&': entity = "&amp;"; break;
        case L'<': entity = "&lt;"; break;
        case L'>': entity = "&gt;"; break;
        case L'"': entity = "&quot;"; break;
        default: break;
        }
        if (!entity && c != L'\0') continue;
        if (at > run) WriteText(run, static_cast<size_t>(at - run), false);
        if (!entity) return;
        Write(entity, false);
        run = at + 1;
    }
}

void CLogHtml::writePathCell(const wchar_t* path)
{
    // The path as the user knows it, without the long-path prefix.
    const OrdinaryPrefix prefix = ordinaryPrefix(path);
    writeEscaped(prefix.lead);
    writeEscaped(path ? path + prefix.skipped : nullptr);
}

void CLogHtml::BeginTable() { Write("<div align=\"left\">\r\n<table border=\"1\">", true); }

void CLogHtml::EndTable() { Write("</table>\r\n</div>", true); }

void CLogHtml::WriteRow(const wchar_t* const* cells, int count, COLORREF colour)
{
    writeRow(cells, count, colour, false);
}

void CLogHtml::writeRow(const wchar_t* const* cells, int count, COLORREF colour, bool firstIsPath)
{
    Record record(*this);
    if (count < 1) {
        Write("<tr>", false);
        Write("</tr>", true);
        return;
    }
    Write("<tr>", false);
    if (colour == kColourNone) {
        for (int i = 0; i < count; ++i) {
            Write("<td>", false);
            if (i == 0 && firstIsPath) writePathCell(cells[i]);
            else writeEscaped(cells[i]);
            Write("</td>", false);
        }
        Write("</tr>", true);
        return;
    }
    const std::string colourName = report::colourText(colour);
    for (int i = 0; i < count; ++i) {
        Write("<td><font color=\"", false);
        Write(colourName.c_str(), false);
        Write("\">", false);
        if (i == 0 && firstIsPath) writePathCell(cells[i]);
        else writeEscaped(cells[i]);
        Write("</font></td>", true);
    }
    Write("</tr>", true);
}

void CLogHtml::WriteLabelRow(UINT labelId, const wchar_t* text, COLORREF colour)
{
    const std::wstring label = cut(loadString(labelId));
    const std::wstring value = cut(text ? text : L"");
    const wchar_t* cells[] = {label.c_str(), value.c_str()};
    WriteRow(cells, 2, colour);
}

void CLogHtml::WriteLabelRow(UINT labelId, UINT valueId, COLORREF colour)
{
    WriteLabelRow(labelId, loadString(valueId).c_str(), colour);
}

void CLogHtml::WriteLinkRow(UINT labelId, const wchar_t* text, const wchar_t* url)
{
    Record record(*this);
    const std::wstring label = cut(loadString(labelId));
    Write("<tr><td>", false);
    writeEscaped(label.c_str());
    Write("</td><td><a href=\"", false);
    writeEscaped(url);
    Write("\">", false);
    writePathCell(text);
    Write("</a></td></tr>", true);
}

void CLogHtml::WriteOutcome(const wchar_t* path, const Outcome& outcome)
{
    const UINT statusId = statusTextId(outcome.status);
    const COLORREF colour = outcomeColour(outcome);
    if (outcome.reason == kReasonNone) {
        if (outcome.status == kStatusFailed || outcome.status == kStatusFolderFailed) {
            writeErrorRow(path, statusId, outcome.error, colour);
        } else {
            writeItemRow(path, statusId, colour);
        }
    } else if (outcome.first || outcome.second) {
        writeDetailRow(path, statusId, reasonTextId(outcome.reason), outcome.first, outcome.second, colour);
    } else {
        writeReasonRow(path, statusId, reasonTextId(outcome.reason), outcome.error, colour);
    }
}

void CLogHtml::writeItemRow(const wchar_t* path, UINT statusId, COLORREF colour)
{
    const std::wstring status = loadString(statusId);
    const wchar_t* cells[] = {path ? path : L"", status.c_str()};
    writeRow(cells, 2, colour, true);
}

void CLogHtml::writeErrorRow(const wchar_t* path, UINT statusId, DWORD error, COLORREF colour)
{
    constexpr DWORD kCapacity = 512;
    wchar_t cell[kCapacity] = {};
    std::wstring status = loadString(statusId);
    cutAt(status, 63);
    std::swprintf(cell, kCapacity, L"%ls--", status.c_str());
    const size_t used = std::wcslen(cell);
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), cell + used, static_cast<DWORD>(kCapacity - used),
                     nullptr);
    cell[kCapacity - 1] = L'\0';
    const wchar_t* cells[] = {path ? path : L"", cell};
    writeRow(cells, 2, colour, true);
}

void CLogHtml::writeReasonRow(const wchar_t* path, UINT statusId, UINT reasonId, DWORD error, COLORREF colour)
{
    constexpr DWORD kCapacity = 1024;
    wchar_t cell[kCapacity] = {};
    std::wstring status = loadString(statusId);
    cutAt(status, 63);
    std::wstring reason = loadString(reasonId);
    cutAt(reason, 255);
    std::swprintf(cell, kCapacity, L"%ls--%ls", status.c_str(), reason.c_str());
    if (error != 0) {
        size_t used = std::wcslen(cell);
        if (used + 2 < kCapacity) {
            cell[used++] = L' ';
            cell[used] = L'\0';
            ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                             MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), cell + used,
                             static_cast<DWORD>(kCapacity - used), nullptr);
        }
    }
    cell[kCapacity - 1] = L'\0';
    const wchar_t* cells[] = {path ? path : L"", cell};
    writeRow(cells, 2, colour, true);
}

void CLogHtml::writeDetailRow(const wchar_t* path, UINT statusId, UINT reasonId, const wchar_t* first,
                              const wchar_t* second, COLORREF colour)
{
    std::wstring status = loadString(statusId);
    cutAt(status, 63);
    const std::wstring cell = status + L"--" + formatString(reasonId, first, second);
    const wchar_t* cells[] = {path ? path : L"", cell.c_str()};
    writeRow(cells, 2, colour, true);
}

void CLogHtml::WriteParagraph(UINT textId, COLORREF colour) { WriteParagraph(loadString(textId).c_str(), colour); }

void CLogHtml::WriteParagraph(const wchar_t* textPointer, COLORREF colour)
{
    Record record(*this);
    const std::wstring text = textPointer ? textPointer : L"";
    if (colour == kColourNone) {
        Write("<p>", false);
        writeEscaped(text.c_str());
        Write("</p>", true);
        return;
    }
    Write("<p><font color=\"", false);
    Write(report::colourText(colour).c_str(), false);
    Write("\">", false);
    writeEscaped(text.c_str());
    Write("</font></p>", true);
}

void CLogHtml::WriteFooter() { Write("</body>\r\n</html>", true); }

void CLogHtml::WriteSettingsTable(const FILE_TREE_SETTING& job)
{
    BeginTable();
    const uint32_t kind = job.kind();
    const std::wstring sources = report::spacedList(ordinaryFormOf(job.sources).c_str());
    const std::wstring target = ordinaryFormOf(job.target);
    if (kind == kOperationCopy) {
        WriteLabelRow(kIdsCopyFrom, sources.c_str());
        WriteLabelRow(kIdsCopyTo, target.c_str());
    } else if (kind == kOperationMove) {
        WriteLabelRow(kIdsMoveFrom, sources.c_str());
        WriteLabelRow(kIdsMoveTo, target.c_str());
    } else if (kind == kOperationDelete) {
        WriteLabelRow(kIdsDelete, sources.c_str());
    }
    WriteLabelRow(kIdsPatterns, report::spacedList(job.patterns).c_str());
    WriteLabelRow(kIdsSubfolders, yesNo(job.includeSubfolders));
    WriteLabelRow(kIdsExclude, yesNo(job.excludePatterns));
    if (job.timeMode == 0) {
        WriteLabelRow(kIdsModifiedTime, kIdsDontConcern);
    } else {
        std::wstring text = substitute(loadString(kIdsFromTo), report::timeText(job.timeFrom));
        text = substitute(text, report::timeText(job.timeTo));
        WriteLabelRow(kIdsModifiedTime, text.c_str());
    }
    const SizeFilter size = job.sizeFilter();
    if (size.sizeClass == kSizeSpecified) {
        wchar_t limit[32];
        std::swprintf(limit, 32, L"%dKB", static_cast<int>(size.limitKB));
        const std::wstring text = loadString(size.limitIsMaximum ? kIdsMaximum : kIdsMinimum) + L" " + limit;
        WriteLabelRow(kIdsFileSize, text.c_str());
    } else {
        WriteLabelRow(kIdsFileSize, sizeClassText(size.sizeClass));
    }
    if (kind == kOperationCopy || kind == kOperationMove) {
        WriteLabelRow(kIdsOverwrite, overwriteText(job.overwritePolicy()));
        WriteLabelRow(kIdsCloneTree, yesNo(job.cloneTree));
        WriteLabelRow(kIdsProtect, yesNo(job.protectReadOnly));
        WriteLabelRow(kIdsVerifyCopies, yesNo(job.verifyCopies));
    } else if (kind == kOperationDelete) {
        WriteLabelRow(kIdsRecycle, yesNo(job.deleteToRecycleBin()));
        WriteLabelRow(kIdsTestOnly, yesNo(job.testOnly));
        WriteLabelRow(kIdsProtect, yesNo(job.protectReadOnly));
    }
    // The console command line that repeats this run, whole: a cut one
    // would run something else.
    const std::wstring label = loadString(kIdsCommandLine);
    const std::wstring command = consoleCommandLine(job);
    const wchar_t* cells[] = {label.c_str(), command.c_str()};
    WriteRow(cells, 2, kColourNone);
    EndTable();
}

} // namespace sorvane
