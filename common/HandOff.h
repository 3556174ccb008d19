// The command text that carries an Explorer selection from the shell
// extension to the main program: on the command line when it is short, in a
// hand-off file (UTF-16LE, terminated, no byte-order mark) when it is long.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace sorvane::handoff {

// Longest command text that travels on the command line itself.
constexpr size_t kMaxCommandLineText = 1024;

enum class Operation { Copy, Move, Delete };

// The folder part of a selected path: the text before its last backslash
// ("C:" for the drive root "C:\"; empty when there is no backslash).
std::wstring parentFolder(const std::wstring& path);

// True when every path lies in the same folder (compared ignoring case).
// The selection list names one parent folder: a selection from several
// folders (search results, a library) cannot be written as one.
bool oneParentFolder(const std::vector<std::wstring>& selectedPaths);

// Builds "[/T:<target> ]/C:|/M:|/D:<DIR>\;<NAME>;<NAME>;..." from full paths.
// DIR is the folder of the paths; each NAME is the text after its path's
// last backslash (a drive root "C:\" gives DIR "C:" and an empty NAME).
// Empty when the paths do not all lie in one folder.
std::wstring buildCommandText(Operation operation, const wchar_t* targetFolder,
                              const std::vector<std::wstring>& selectedPaths);
// The same with the operation's switch given as text ("/C:", "/M:", "/D:",
// or empty for none).
std::wstring buildCommandText(const wchar_t* operationSwitch, const wchar_t* targetFolder,
                              const std::vector<std::wstring>& selectedPaths);

// Writes the command text into a new hand-off file made in `folder` (ending
// with a backslash). Returns the file's path, or empty on failure (a file
// that was created but not completely written is removed again).
std::wstring writeHandOffFile(const wchar_t* folder, const std::wstring& commandText);

// The parameters to start the main program with: the command text itself,
// or "/F:<hand-off file>". The file is made in `folder`, or, when that folder
// cannot take it (a standard user cannot write under Program Files), in the
// user's temporary folder. Empty when neither could take it.
std::wstring programParameters(const wchar_t* folder, const std::wstring& commandText);

// The user's temporary folder, ending with a backslash (empty if unknown).
std::wstring userTempFolder();

// Program side.
//
// The arguments of a process command line: the text after the program path.
// A quoted path ends at its closing quote; an unquoted one at the first
// blank that is followed by a switch ("/"), or at the end. A path written
// with forward slashes ("C:/Tools/Sorvane.exe") is thus never taken for
// switches.
const wchar_t* skipProgramPath(const wchar_t* commandLine);

// True when `path` names a file of the form GetTempFileNameW makes for the
// prefix "Sorvane" ("Sor" and one to four hexadecimal digits, ".tmp") in one
// of `folders` (each ending with a backslash or not; compared in their full
// and long forms, ignoring case).
bool isHandOffFile(const wchar_t* path, const std::vector<std::wstring>& folders);

// The folders a hand-off file may lie in: the program's own folder (which is
// the extension's) and the user's temporary folder.
std::vector<std::wstring> handOffFolders();

// The command text: the arguments of the command line, or, when they hold
// "/F:" (in either case), the content of the file named after it. That file
// is deleted after reading (also when it could not be read) only when it is
// a hand-off file in one of `folders`; any other file is read and left
// alone. Null when there is no text.
struct FreeDeleter {
    void operator()(wchar_t* p) const noexcept { ::HeapFree(::GetProcessHeap(), 0, p); }
};
using CommandText = std::unique_ptr<wchar_t[], FreeDeleter>;
CommandText obtainCommandText(const wchar_t* commandLine, const std::vector<std::wstring>& folders);
CommandText obtainCommandText(const wchar_t* commandLine); // with handOffFolders()
CommandText obtainCommandText();                           // of this process

} // namespace sorvane::handoff
