#include "base/Strings.h"

#include "base/AppState.h"

#include <cwchar>
#include <vector>

namespace sorvane {

std::wstring loadString(UINT id)
{
    return readStringResource(resourceModule(), id);
}

std::wstring readStringResource(HMODULE module, UINT id)
{
    // A string table keeps its strings in blocks of sixteen, block n+1
    // holding ids 16n to 16n+15, each string a count of units followed by
    // the units, not terminated. Read with the kernel's resource functions
    // (found as LoadStringW finds them), so that a program without windows
    // needs no user32 for its texts.
    const UINT number = id & 0xFFFF;
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW((number >> 4) + 1), MAKEINTRESOURCEW(6) /* RT_STRING */);
    if (!found) return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* units = loaded ? static_cast<const WCHAR*>(::LockResource(loaded)) : nullptr;
    if (!units) return {};
    const size_t total = ::SizeofResource(module, found) / sizeof(WCHAR);
    size_t at = 0;
    for (UINT index = number & 15; index > 0; --index) {
        if (at >= total) return {};
        at += 1 + units[at];
    }
    if (at >= total) return {};
    const size_t length = units[at];
    if (length == 0 || at + 1 + length > total) return {};
    return std::wstring(units + at + 1, length);
}

int loadString(UINT id, wchar_t* buffer, int capacity)
{
    if (!buffer || capacity <= 0) return 0;
    const std::wstring text = loadString(id);
    const int length = static_cast<int>(text.size() < static_cast<size_t>(capacity) ? text.size() : capacity - 1);
    std::wmemcpy(buffer, text.data(), static_cast<size_t>(length));
    buffer[length] = L'\0';
    return length;
}

namespace {

// Puts `arguments` (`count` of them) in place of the first "%s" marks of
// `format`, in order; "%%" is one '%'; anything else is copied as it is.
std::wstring substitute(const std::wstring& format, const wchar_t* const* arguments, size_t count)
{
    std::wstring result;
    result.reserve(format.size());
    size_t used = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == L'%' && i + 1 < format.size()) {
            if (format[i + 1] == L's' && used < count) {
                result += arguments[used++];
                ++i;
                continue;
            }
            if (format[i + 1] == L'%') {
                result += L'%';
                ++i;
                continue;
            }
        }
        result += format[i];
    }
    return result;
}

} // namespace

std::wstring formatString(UINT id, const wchar_t* argument)
{
    const std::wstring format = loadString(id);
    if (!argument) return format;
    return substitute(format, &argument, 1);
}

std::wstring formatString(UINT id, const wchar_t* first, const wchar_t* second)
{
    const wchar_t* const arguments[] = {first ? first : L"", second ? second : L""};
    return substitute(loadString(id), arguments, 2);
}

std::wstring formatStrings(UINT id, std::initializer_list<std::wstring> arguments)
{
    std::vector<const wchar_t*> texts;
    texts.reserve(arguments.size());
    for (const std::wstring& argument : arguments) texts.push_back(argument.c_str());
    return substitute(loadString(id), texts.data(), texts.size());
}

std::wstring formatNumber(UINT id, long long number)
{
    std::wstring text = loadString(id);
    const size_t at = text.find(L"%d");
    if (at != std::wstring::npos) text.replace(at, 2, std::to_wstring(number));
    return text;
}

std::wstring systemMessage(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = length > 0 && text ? std::wstring(text, length) : L"0x" + std::to_wstring(error);
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return message;
}

} // namespace sorvane
