// The command line of the main program: "/H", "/F:", "/T:", "/C:", "/M:",
// "/D:", "/L:", and "/R:", the list of a run as administrator. The parser works in place on the command-line text and
// reports errors in message boxes with the exact words of the string table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sorvane {

class FILE_TREE_SETTING;

struct Command {
    const wchar_t* name;  // one letter
    wchar_t* parameter;   // inside the command-line text, or null
    bool seen;
};

enum CommandIndex {
    kCmdHelp,
    kCmdHandOff,
    kCmdTarget,
    kCmdCopy,
    kCmdMove,
    kCmdDelete,
    kCmdCompress,
    kCmdRetry,
    kCommandCount
};

struct CommandTable {
    Command entries[kCommandCount] = {
        {L"H", nullptr, false}, {L"F", nullptr, false}, {L"T", nullptr, false}, {L"C", nullptr, false},
        {L"M", nullptr, false}, {L"D", nullptr, false}, {L"L", nullptr, false}, {L"R", nullptr, false},
    };
    const Command& operator[](CommandIndex i) const { return entries[i]; }
};

enum ParseResult : int { kParseError = 0, kParseAccepted = 1, kParseNoCommand = 2 };

// Parses (and modifies) `text`: 2 when it holds no command, 0 after an error
// was reported, 1 when every command was accepted.
int parseCommandLine(wchar_t* text, CommandTable& table);

// True when an accepted table names an operation ("/C:", "/M:", "/D:",
// "/L:" or "/R:"), and with it the sources. "/H" or "/T:" alone name none.
bool namesOperation(const CommandTable& table);

// Seeds the settings and the pending operation from an accepted table. Shows
// the usage text for "/H". Returns 1 when the settings' source buffer exists.
int applyCommands(const CommandTable& table, FILE_TREE_SETTING& settings, uint32_t& pendingOperation);

// "/R:<hash>:<list file>": a run as administrator of the files of a list
// that a delete in the user's own account handed over. The list file is
// read and its XXH3-128 compared with the hash; then `settings` become a
// delete of exactly those files (`paths`) with the list's Recycle Bin and
// read-only protection and no filter. A list that cannot be read, whose
// hash differs, or that comes with another operation is refused with a
// message, and false is returned.
bool applyRetryList(const CommandTable& table, FILE_TREE_SETTING& settings, std::vector<std::wstring>& paths);

} // namespace sorvane
