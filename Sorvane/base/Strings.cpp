#include "base/Strings.h"

#include "base/AppState.h"

#include <cwchar>
#include <vector>

namespace sorvane {

std::wstring loadString(UINT id)
{
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out a pointer to the
    // resource's text itself, which is not terminated.
    const int length = ::LoadStringW(resourceModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return {};
    return std::wstring(text, static_cast<size_t>(length));
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

std::wstring formatNumber(UINT id, long long number)
{
    std::wstring text = loadString(id);
    const size_t at = text.find(L"%d");
    if (at != std::wstring::npos) text.replace(at, 2, std::to_wstring(number));
    return text;
}

} // namespace sorvane
