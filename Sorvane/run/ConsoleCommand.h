// The command line of the console program SorvaneCmd.exe: its words, its
// switches and the keys of its job files, read into a settings record, and
// the other way round, the command line that repeats a run (the report of
// every run, the dialog's included, shows it). The switch vocabulary lives
// here alone, so that what the report writes is what the console reads.
//
//   SorvaneCmd.exe <copy|move|delete|compress> <source list> [<target>] [switches]
//
// A job file holds the same settings as `key=value` lines, one key per
// switch (and `operation`, `source`, `target`); switches on the command
// line override its values.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace sorvane {

class FILE_TREE_SETTING;

// The console program's file name, as its command lines start.
constexpr const wchar_t* kConsoleProgramName = L"SorvaneCmd.exe";

// Why a command was refused: string `id`, its "%s" marks taken by
// `first` and `second`.
struct CommandProblem {
    UINT id = 0;
    std::wstring first;
    std::wstring second;

    explicit operator bool() const noexcept { return id != 0; }
};

// What the console program does besides the run itself.
struct ConsoleOptions {
    std::wstring logPath; // JSON Lines of every row ("/log:")
    std::wstring csvPath; // the same rows as CSV ("/csv:")
    bool quiet = false;   // errors only on the console
    bool plan = false;    // "/plan": each file judged as the run would, nothing changed
    bool help = false;    // "/?": the usage text, nothing runs
};

// The settings as keys and values, before they are checked: what the job
// file gave, then what the command line gave over it. Flags hold "yes" or
// "no".
class CommandKeys {
public:
    // Reads the arguments after the program's name. A "/job:<file>" is not
    // read here but kept as `jobFile`.
    CommandProblem readArguments(const std::vector<std::wstring>& arguments);
    // Reads the text of a job file (UTF-8, an optional byte-order mark,
    // '#' or ';' starting a comment line); `name` names the file in problems.
    CommandProblem readJobText(const std::string& utf8, const std::wstring& name);
    // Takes every key of `over` in place of its own.
    void overrideWith(const CommandKeys& over);

    const std::wstring* find(const std::wstring& key) const;
    const std::wstring& jobFile() const noexcept { return jobFile_; }
    bool helpAsked() const noexcept { return help_; }

private:
    CommandProblem set(const std::wstring& key, const std::wstring& value, bool fromJob);

    std::map<std::wstring, std::wstring> values_;
    std::wstring jobFile_;
    bool help_ = false;
};

// Fills `settings` (operation, sources, target, filters, policies) and
// `options` from `keys`, checking every value; nothing on disk is looked
// at. Options that do not belong to the operation are refused.
CommandProblem applyCommandKeys(const CommandKeys& keys, FILE_TREE_SETTING& settings, ConsoleOptions& options);

// The arguments that repeat `settings` (operation, sources, target and
// every switch that differs from the console's default), each as it is,
// unquoted; and the whole command line, quoted by the rules that
// CommandLineToArgvW reads, starting with "SorvaneCmd.exe".
std::vector<std::wstring> consoleArguments(const FILE_TREE_SETTING& settings);
std::wstring consoleCommandLine(const FILE_TREE_SETTING& settings);

// One argument quoted so that CommandLineToArgvW gives it back as it is:
// left alone without blanks or quotes, else in quotes with the backslashes
// before a quote (and before the closing quote) doubled.
std::wstring quoteArgument(const std::wstring& argument);

namespace console {

// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM", "YYYY-MM-DDTHH:MM:SS" or with a
// fraction of up to seven digits: a local time, into a FILETIME in UTC
// (`local` false) or in local time (`local` true, as a compress run keeps
// its range). False when it is no such time.
bool parseLocalTime(const std::wstring& text, bool local, FILETIME& out);
// The other way round: the shortest of those forms that reads back as `time`.
std::wstring formatLocalTime(const FILETIME& time, bool local);
// A FILETIME (UTC) as "YYYY-MM-DDTHH:MM:SSZ", with a fraction where the
// time has one.
std::wstring formatUtcTime(const FILETIME& time);

// The open ends of a range given by "/after" or "/before" alone.
constexpr ULONGLONG kOpenStart = 0;
constexpr ULONGLONG kOpenEnd = 0x7FFFFFFFFFFFFFFFull;

} // namespace console

} // namespace sorvane
