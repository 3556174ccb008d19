#include "dialogs/LabelledText.h"

#include <windows.h>

#include <cwchar>

namespace sorvane {

std::wstring trimmedBlanks(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    const size_t last = text.find_last_not_of(L' ');
    return text.substr(first, last - first + 1);
}

LabelledText splitLabelled(const std::wstring& text)
{
    const size_t bar = text.find(L'|');
    if (bar == std::wstring::npos) return {std::wstring(), trimmedBlanks(text)};
    return {trimmedBlanks(text.substr(0, bar)), trimmedBlanks(text.substr(bar + 1))};
}

std::wstring joinLabelled(const std::wstring& label, const std::wstring& value)
{
    return label.empty() ? value : label + L"|" + value;
}

std::vector<std::wstring> splitItems(const std::wstring& list)
{
    std::vector<std::wstring> items;
    size_t start = 0;
    for (;;) {
        const size_t semicolon = list.find(L';', start);
        if (semicolon == std::wstring::npos) {
            items.push_back(list.substr(start));
            return items;
        }
        items.push_back(list.substr(start, semicolon - start));
        start = semicolon + 1;
    }
}

std::wstring joinItems(const std::vector<std::wstring>& items)
{
    std::wstring list;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) list += L';';
        list += items[i];
    }
    return list;
}

std::wstring blankAfterSemicolons(const std::wstring& text)
{
    std::wstring spaced;
    spaced.reserve(text.size() + text.size() / 8);
    for (wchar_t c : text) {
        spaced += c;
        if (c == L';') spaced += L' ';
    }
    return spaced;
}

bool firstAllFilesIsWholeItem(const std::wstring& patterns)
{
    const size_t at = patterns.find(L"*.*");
    if (at == std::wstring::npos) return false;
    const bool startsItem = at == 0 || patterns[at - 1] == L';';
    const size_t after = at + 3;
    const bool endsItem = after == patterns.size() || patterns[after] == L';';
    return startsItem && endsItem;
}

bool equalNoCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool endsWith(const std::wstring& text, const wchar_t* suffix)
{
    const size_t length = std::wcslen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

} // namespace sorvane
