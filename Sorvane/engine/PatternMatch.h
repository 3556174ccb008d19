// Name and type patterns: "Name|Types" texts and the wildcard matcher with
// its own language ('*', '?', and '#' for a digit), which compares the base
// name and the extension of a file name separately.
#pragma once

#include <cstddef>

namespace sorvane {

constexpr size_t kPatternTextCapacity = 520;  // a "Name|Types" text or list
constexpr size_t kDisplayNameCapacity = 260;  // the display name before '|'
constexpr size_t kPatternSegmentCapacity = 260;

// Splits "Name|Types" at the first '|' into the display name and the
// pattern list, each trimmed of blanks. Either output may be null. Without
// '|', the display name is empty and the whole text is the pattern list.
// Output capacities: kDisplayNameCapacity and kPatternTextCapacity.
void splitNameAndPatterns(const wchar_t* text, wchar_t* displayNameOut, wchar_t* patternsOut);

// Upper-cases the letters a to z of a pattern list, as a run does once
// before it matches (the matcher compares everything else as it stands).
void upperCasePatternList(wchar_t* patterns) noexcept;

// True when some ';'-separated pattern of the (upper-cased) list matches the
// file-name part of `fileName`. An empty list matches nothing.
bool matchPatternList(const wchar_t* fileName, const wchar_t* patterns);

// Matches one part of a name (base or extension) against one part of a
// pattern. Null text stands for a missing part.
bool matchPattern(const wchar_t* text, const wchar_t* pattern);

} // namespace sorvane
