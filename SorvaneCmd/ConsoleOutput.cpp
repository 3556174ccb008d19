#include "console/ConsoleOutput.h"

namespace sorvane {

namespace console {

namespace {

bool isWide(unsigned code)
{
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0x303E) ||
           (code >= 0x3041 && code <= 0x33FF) || (code >= 0x3400 && code <= 0x4DBF) ||
           (code >= 0x4E00 && code <= 0x9FFF) || (code >= 0xA000 && code <= 0xA4CF) ||
           (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
           (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
           (code >= 0xFFE0 && code <= 0xFFE6) || code >= 0x10000;
}

// Columns of the code point that starts at `at`, and its units.
int unitColumns(const std::wstring& text, size_t at, size_t& units)
{
    const wchar_t c = text[at];
    units = 1;
    if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF) {
        units = 2;
        return 2;
    }
    return isWide(c) ? 2 : 1;
}

} // namespace

int columns(const std::wstring& text)
{
    int total = 0;
    for (size_t at = 0, units = 0; at < text.size(); at += units) total += unitColumns(text, at, units);
    return total;
}

std::wstring cutToColumns(const std::wstring& text, int limit)
{
    int used = 0;
    size_t at = 0;
    for (size_t units = 0; at < text.size(); at += units) {
        const int width = unitColumns(text, at, units);
        if (used + width > limit) break;
        used += width;
    }
    return text.substr(0, at);
}

std::wstring cutFromStart(const std::wstring& text, int limit)
{
    if (columns(text) <= limit) return text;
    if (limit <= 3) return std::wstring(static_cast<size_t>(limit > 0 ? limit : 0), L'.');
    // Code points from the end, as many as fit beside the dots.
    size_t start = text.size();
    int used = 0;
    while (start > 0) {
        size_t from = start - 1;
        if (from > 0 && text[from] >= 0xDC00 && text[from] <= 0xDFFF && text[from - 1] >= 0xD800 &&
            text[from - 1] <= 0xDBFF) {
            --from;
        }
        size_t units = 0;
        const int width = unitColumns(text, from, units);
        if (used + width > limit - 3) break;
        used += width;
        start = from;
    }
    return L"..." + text.substr(start);
}

} // namespace console

ConsoleOutput::ConsoleOutput()
    : out_(::GetStdHandle(STD_OUTPUT_HANDLE)), err_(::GetStdHandle(STD_ERROR_HANDLE))
{
    DWORD mode = 0;
    console_ = out_ && out_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(out_, &mode);
    errorConsole_ = err_ && err_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(err_, &mode);
}

void ConsoleOutput::write(HANDLE handle, bool console, const std::wstring& text)
{
    if (!handle || handle == INVALID_HANDLE_VALUE || text.empty()) return;
    if (console) {
        DWORD written = 0;
        ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // Redirected: UTF-8, whatever the console's code page.
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    if (needed <= 0) return;
    std::string bytes(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], needed, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void ConsoleOutput::say(const std::wstring& line)
{
    if (quiet_) return;
    if (rowShown_) {
        // The line takes the row's place: one progress row at a time.
        ::SetConsoleCursorPosition(out_, rowStart_);
        const int limit = rowColumns();
        std::wstring text = line;
        if (console::columns(text) < limit) text.append(static_cast<size_t>(limit - console::columns(text)), L' ');
        rowShown_ = false;
        write(out_, true, text + L"\r\n");
        return;
    }
    write(out_, console_, line + L"\r\n");
}

void ConsoleOutput::error(const std::wstring& line)
{
    endRow();
    write(err_, errorConsole_, line + L"\r\n");
}

int ConsoleOutput::rowColumns() const
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!console_ || !::GetConsoleScreenBufferInfo(out_, &info)) return 79;
    return info.dwSize.X > 1 ? info.dwSize.X - 1 : 1;
}

void ConsoleOutput::showRow(const std::wstring& row)
{
    if (quiet_ || !console_) return;
    const int limit = rowColumns();
    if (!rowShown_) {
        CONSOLE_SCREEN_BUFFER_INFO info = {};
        if (!::GetConsoleScreenBufferInfo(out_, &info)) return;
        rowStart_ = info.dwCursorPosition;
        rowStart_.X = 0;
        // A row starts on a line of its own.
        if (info.dwCursorPosition.X != 0) {
            write(out_, true, L"\r\n");
            if (::GetConsoleScreenBufferInfo(out_, &info)) rowStart_ = info.dwCursorPosition;
        }
        rowShown_ = true;
    }
    std::wstring text = console::cutToColumns(row, limit);
    // Blanks over what a longer row before left.
    text.append(static_cast<size_t>(limit - console::columns(text)), L' ');
    ::SetConsoleCursorPosition(out_, rowStart_);
    write(out_, true, text);
}

void ConsoleOutput::endRow()
{
    if (!rowShown_) return;
    rowShown_ = false;
    write(out_, true, L"\r\n");
}

} // namespace sorvane
