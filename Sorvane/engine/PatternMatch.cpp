#include "engine/PatternMatch.h"

#include <cwchar>

namespace sorvane {

void upperCasePatternList(wchar_t* patterns) noexcept
{
    for (wchar_t* at = patterns; at && *at; ++at) {
        if (*at >= L'a' && *at <= L'z') *at = static_cast<wchar_t>(*at - L'a' + L'A');
    }
}

namespace {

void copyBounded(wchar_t* out, const wchar_t* in, size_t capacity)
{
    size_t i = 0;
    if (in) {
        for (; i + 1 < capacity && in[i]; ++i) out[i] = in[i];
    }
    out[i] = L'\0';
}

// Writes [begin, end) without leading and trailing U+0020 blanks.
void trimInto(const wchar_t* begin, const wchar_t* end, wchar_t* out, size_t capacity)
{
    while (begin < end && *begin == L' ') ++begin;
    while (end > begin && end[-1] == L' ') --end;
    size_t n = static_cast<size_t>(end - begin);
    if (n > capacity - 1) n = capacity - 1;
    std::wmemcpy(out, begin, n);
    out[n] = L'\0';
}

wchar_t upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// The last '.' of the text, searching backwards and stopping at '\' or '/'.
wchar_t* lastDot(wchar_t* text)
{
    for (wchar_t* p = text + std::wcslen(text); p > text;) {
        --p;
        if (*p == L'\\' || *p == L'/') return nullptr;
        if (*p == L'.') return p;
    }
    return nullptr;
}

// Compares one character of a segment against one character of the text.
bool charMatches(wchar_t patternChar, wchar_t textChar)
{
    if (patternChar == L'?') return true;
    if (patternChar == L'#') return (textChar >= L'0' && textChar <= L'9') || textChar == L'#';
    return patternChar == textChar;
}

bool segmentMatchesAt(const wchar_t* text, const wchar_t* segment, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (!charMatches(segment[i], text[i])) return false;
    }
    return true;
}

} // namespace

void splitNameAndPatterns(const wchar_t* text, wchar_t* displayNameOut, wchar_t* patternsOut)
{
    wchar_t copy[kPatternTextCapacity];
    copyBounded(copy, text, kPatternTextCapacity);
    const wchar_t* end = copy + std::wcslen(copy);
    const wchar_t* bar = std::wcschr(copy, L'|');
    if (bar) {
        if (displayNameOut) trimInto(copy, bar, displayNameOut, kDisplayNameCapacity);
        if (patternsOut) trimInto(bar + 1, end, patternsOut, kPatternTextCapacity);
    } else {
        if (displayNameOut) displayNameOut[0] = L'\0';
        if (patternsOut) trimInto(copy, end, patternsOut, kPatternTextCapacity);
    }
}

bool matchPattern(const wchar_t* text, const wchar_t* pattern)
{
    if (!pattern || !*pattern) return !text || !*text;
    if (pattern[0] == L'*' && pattern[1] == L'\0') return true;
    if (!text || !*text) return false;

    const wchar_t* t = text;
    const wchar_t* p = pattern;
    for (;;) {
        if (*p != L'*') {
            // Literal part: the terminators take part in the comparison, so
            // text and pattern must end together here.
            if (*p == L'?') {
                if (*t == L'\0') return false;
            } else if (!charMatches(*p, *t)) {
                return false;
            }
            if (*t == L'\0' || *p == L'\0') return true; // both ended together
            ++t;
            ++p;
            continue;
        }

        // A star.
        if (p[1] == L'\0') return true;
        while (*p == L'*' || *p == L'?') ++p;
        if (*p == L'\0') return true;

        wchar_t segment[kPatternSegmentCapacity];
        size_t length = 0;
        while (p[length] && p[length] != L'*') {
            if (length + 1 >= kPatternSegmentCapacity) return false; // segment too long to hold: no match
            segment[length] = p[length];
            ++length;
        }
        segment[length] = L'\0';
        const wchar_t* after = p + length;
        const size_t rest = std::wcslen(t);

        if (*after == L'\0') {
            // The last segment: it must match the end of the text.
            return rest >= length && segmentMatchesAt(t + rest - length, segment, length);
        }
        if (after[1] == L'\0') {
            // "*segment*": the segment anywhere in the rest, searched from the end.
            if (rest < length) return false;
            for (size_t start = rest - length + 1; start-- > 0;) {
                if (segmentMatchesAt(t + start, segment, length)) return true;
            }
            return false;
        }
        // A segment between two stars is not compared: go on at the next star.
        p = after;
    }
}

bool matchPatternList(const wchar_t* fileName, const wchar_t* patterns)
{
    if (!patterns || !*patterns) return false;

    wchar_t list[kPatternTextCapacity];
    copyBounded(list, patterns, kPatternTextCapacity);

    // The file-name part after the last '\', '/' or ':', upper-cased a-z only.
    const wchar_t* namePart = fileName ? fileName : L"";
    for (const wchar_t* q = namePart; *q; ++q) {
        if (*q == L'\\' || *q == L'/' || *q == L':') namePart = q + 1;
    }
    wchar_t name[kPatternTextCapacity];
    copyBounded(name, namePart, kPatternTextCapacity);
    for (wchar_t* q = name; *q; ++q) *q = upper(*q);
    wchar_t* nameDot = lastDot(name);
    const wchar_t* nameExtension = nullptr;
    if (nameDot) {
        *nameDot = L'\0';
        nameExtension = nameDot + 1;
    }

    wchar_t* element = list;
    while (element) {
        wchar_t* next = std::wcschr(element, L';');
        if (next) *next++ = L'\0';
        if (*element) {
            wchar_t* dot = lastDot(element);
            const wchar_t* extensionPattern = nullptr;
            if (dot) {
                *dot = L'\0';
                extensionPattern = dot + 1;
            }
            if (matchPattern(nameExtension, extensionPattern) && matchPattern(name, element)) return true;
        }
        element = next;
    }
    return false;
}

} // namespace sorvane
