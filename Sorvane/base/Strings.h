// Texts the user sees, loaded by number from the resource module.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace sorvane {

// The string `id` of the resource module; empty when it has none.
std::wstring loadString(UINT id);
// The string `id` of `module`'s string table, as LoadStringW gives it,
// read without user32; empty when it has none.
std::wstring readStringResource(HMODULE module, UINT id);
// Copies string `id` into a fixed buffer (truncated), returns its length.
int loadString(UINT id, wchar_t* buffer, int capacity);
// Formats string `id` with one text argument ("%s").
std::wstring formatString(UINT id, const wchar_t* argument);
// Formats string `id` with two text arguments, taking the place of its
// first and second "%s" in order; a text without them is returned as it is.
std::wstring formatString(UINT id, const wchar_t* first, const wchar_t* second);
// Formats string `id` with any number of text arguments, in order.
std::wstring formatStrings(UINT id, std::initializer_list<std::wstring> arguments);
// Formats string `id` with one number ("%d").
std::wstring formatNumber(UINT id, long long number);
// The system's message for `error`, without its line breaks at the end;
// "0x" and the number when the system has none.
std::wstring systemMessage(DWORD error);

} // namespace sorvane
