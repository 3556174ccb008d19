// What SorvaneCmd.exe prints. On a console: lines through WriteConsoleW and
// one progress row that is rewritten in place, never wider than the
// console's buffer. Redirected to a file or a pipe: UTF-8 lines only, no
// progress row. Errors go to standard error in either case; "/quiet"
// silences everything else.
#pragma once

#include <windows.h>

#include <string>

namespace sorvane {

class ConsoleOutput {
public:
    ConsoleOutput();

    void setQuiet(bool quiet) noexcept { quiet_ = quiet; }
    bool quiet() const noexcept { return quiet_; }
    // Standard output is a console (not redirected).
    bool onConsole() const noexcept { return console_; }

    // One line on standard output (not when quiet), in place of a
    // progress row that is shown.
    void say(const std::wstring& line);
    // One line on standard error, always (below a progress row).
    void error(const std::wstring& line);
    // Shows `row` in place of the previous progress row (a console only,
    // not when quiet), cut to the buffer's width.
    void showRow(const std::wstring& row);
    // Leaves the progress row as it stands and moves below it.
    void endRow();
    // Columns a row may take: the buffer's width less one, so that the
    // cursor never wraps to the next line.
    int rowColumns() const;

private:
    void write(HANDLE handle, bool console, const std::wstring& text);

    HANDLE out_;
    HANDLE err_;
    bool console_ = false;
    bool errorConsole_ = false;
    bool quiet_ = false;
    bool rowShown_ = false;
    COORD rowStart_ = {};
};

namespace console {

// Columns `text` takes on a console: two for the wide characters of East
// Asian scripts, one for the others.
int columns(const std::wstring& text);
// `text` cut to at most `limit` columns from its end, "..." standing for
// what was cut at its start.
std::wstring cutFromStart(const std::wstring& text, int limit);
// `text` cut to at most `limit` columns from its start.
std::wstring cutToColumns(const std::wstring& text, int limit);

} // namespace console

} // namespace sorvane
