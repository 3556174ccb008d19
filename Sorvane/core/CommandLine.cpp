#include "core/CommandLine.h"

#include "common/HandOff.h"
#include "engine/FileTreeSetting.h"
#include "run/RetryList.h"
#include "base/Strings.h"
#include "base/UserMessage.h"
#include "res/SorvaneRes.h"

#include <cwchar>
#include <cwctype>

namespace sorvane {

namespace {


bool endsName(wchar_t c) { return c == L'\0' || c == L' ' || c == L'/' || c == L':'; }

int reportError(UINT id, const wchar_t* argument)
{
    showMessage(nullptr, argument ? formatString(id, argument) : loadString(id), MB_ICONEXCLAMATION);
    return kParseError;
}

Command* findCommand(CommandTable& table, const wchar_t* name, size_t length)
{
    if (length != 1) return nullptr;
    for (Command& command : table.entries) {
        if (std::towupper(command.name[0]) == std::towupper(name[0])) return &command;
    }
    return nullptr;
}

} // namespace

int parseCommandLine(wchar_t* text, CommandTable& table)
{
    if (!text || !*text) return kParseNoCommand;
    wchar_t* p = std::wcschr(text, L'/');
    if (!p) return kParseNoCommand;

    for (;;) {
        // p is at a '/': the name is one character, or two when the second
        // does not end it.
        wchar_t* const slash = p;
        wchar_t* name = p + 1;
        size_t nameLength = 0;
        if (name[0] != L'\0') {
            nameLength = 1;
            if (!endsName(name[1])) nameLength = 2;
        }
        Command* command = findCommand(table, name, nameLength);
        if (!command) {
            wchar_t* cut = name + nameLength;
            while (*cut && *cut != L' ' && *cut != L'/') ++cut;
            *cut = L'\0';
            return reportError(IDS_UNKNOWN_COMMAND, slash);
        }
        p = name + nameLength;

        wchar_t* parameter = nullptr;
        if (command != &table.entries[kCmdHelp]) {
            if (*p != L':') {
                const bool missing = *p == L'\0' || *p == L' ' || *p == L'/';
                return reportError(missing ? IDS_NEED_PARAMETER : IDS_NO_COLON, command->name);
            }
            parameter = ++p;
            wchar_t* nextSlash = std::wcschr(parameter, L'/');
            if (nextSlash) {
                // The character just before the next '/' separates the
                // commands; it is not part of the parameter.
                p = nextSlash - 1;
                if (p < parameter) p = parameter; // "/C:/..." : nothing at all
            } else {
                p = parameter + std::wcslen(parameter);
            }
            if (p == parameter) return reportError(IDS_NEED_PARAMETER, command->name);
        }

        if (command->seen) return reportError(IDS_COMMAND_TWICE, command->name);
        command->seen = true;
        command->parameter = parameter;

        if (*p != L'\0' && *p != L' ') return reportError(IDS_NO_BLANK, nullptr);
        if (*p == L' ') {
            *p++ = L'\0';
            while (*p == L' ') ++p;
        }
        if (*p != L'/') return kParseAccepted;
    }
}

bool namesOperation(const CommandTable& table)
{
    return table[kCmdCopy].seen || table[kCmdMove].seen || table[kCmdDelete].seen || table[kCmdCompress].seen ||
           table[kCmdRetry].seen;
}

bool applyRetryList(const CommandTable& table, FILE_TREE_SETTING& settings, std::vector<std::wstring>& paths)
{
    paths.clear();
    // The list stands alone: a selection beside it would be a second run.
    for (CommandIndex other : {kCmdHelp, kCmdTarget, kCmdCopy, kCmdMove, kCmdDelete, kCmdCompress}) {
        if (table[other].seen) {
            reportError(IDS_UNKNOWN_COMMAND, (std::wstring(L"/") + table[other].name).c_str());
            return false;
        }
    }
    RetryList list;
    std::wstring file;
    const RetryListStatus status = readRetryList(table[kCmdRetry].parameter, handoff::handOffFolders(), list, file);
    if (status != RetryListStatus::Accepted) {
        const UINT id = status == RetryListStatus::HashDiffers ? IDS_RETRY_LIST_CHANGED : IDS_RETRY_LIST_UNREADABLE;
        reportError(id, file.c_str());
        return false;
    }
    // Exactly the listed files: no pattern, time or size filter, nothing
    // but the settings the list carries.
    FILE_TREE_SETTING fresh;
    fresh.operation = kOperationDelete;
    fresh.setPatterns(L"*.*");
    fresh.excludePatterns = 0;
    fresh.includeSubfolders = 0;
    fresh.timeMode = 0;
    fresh.setSizeFilter(SizeFilter{});
    fresh.testOnly = 0;
    fresh.setDeleteToRecycleBin(list.recycle);
    fresh.protectReadOnly = list.protectReadOnly ? 1 : 0;
    fresh.setTarget(L"");
    // What the report's settings and the dialog show: the listed paths.
    std::wstring shown;
    for (const std::wstring& path : list.paths) shown += path + L";";
    fresh.setSources(shown.c_str());
    settings = fresh;
    paths = std::move(list.paths);
    return true;
}

int applyCommands(const CommandTable& table, FILE_TREE_SETTING& settings, uint32_t& pendingOperation)
{
    if (table[kCmdHelp].seen) showMessage(nullptr, loadString(IDS_USAGE), MB_ICONINFORMATION);

    settings.protectReadOnly = 1;
    settings.cloneTree = 0;

    // Each operation's default: a copy replaces only older targets, a
    // delete goes to the Recycle Bin, a compress adds only newer files; a
    // move keeps what the settings held.
    struct Choice {
        CommandIndex command;
        uint32_t operation;
        void (*defaults)(FILE_TREE_SETTING&);
    };
    static const Choice kChoices[] = {
        {kCmdCopy, kOperationCopy, [](FILE_TREE_SETTING& s) { s.setOverwritePolicy(OverwritePolicy::IfNewer); }},
        {kCmdMove, kOperationMove, nullptr},
        {kCmdDelete, kOperationDelete, [](FILE_TREE_SETTING& s) { s.setDeleteToRecycleBin(true); }},
        {kCmdCompress, kOperationCompress, [](FILE_TREE_SETTING& s) { s.setArchiveMode(ArchiveMode::AddNewer); }},
    };
    const wchar_t* sourceList = nullptr;
    for (const Choice& choice : kChoices) {
        if (!table[choice.command].seen) continue;
        pendingOperation = choice.operation;
        if (choice.defaults) choice.defaults(settings);
        sourceList = table[choice.command].parameter;
        break;
    }

    settings.setTarget(table[kCmdTarget].seen ? table[kCmdTarget].parameter : L"");

    if (sourceList) {
        settings.setSources(sourceList);
        if (settings.sources) {
            // "C:\;;" (a drive root selected alone) stands for "C:\;".
            const size_t length = std::wcslen(settings.sources);
            if (length >= 4 && std::wcscmp(settings.sources + length - 4, L":\\;;") == 0) {
                settings.sources[length - 1] = L'\0';
            }
        }
    }
    return settings.sources ? 1 : 0;
}

} // namespace sorvane
