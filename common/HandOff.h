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

// Builds "[/T:<target> ]/C:|/M:|/D:<DIR>\;<NAME>;<NAME>;..." from full paths.
// DIR is taken from the first path; each NAME is the text after its path's
// last backslash (a drive root "C:\" gives DIR "C:" and an empty NAME).
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

// Program side: the command text from the process command line, or from the
// hand-off file named after "/F:" (which is deleted in every case). Null when
// there is none.
struct FreeDeleter {
    void operator()(wchar_t* p) const noexcept { ::HeapFree(::GetProcessHeap(), 0, p); }
};
using CommandText = std::unique_ptr<wchar_t[], FreeDeleter>;
CommandText obtainCommandText(const wchar_t* commandLine);
CommandText obtainCommandText();

} // namespace sorvane::handoff
