// "Label|value" texts as the operation dialog and the extension browser
// handle them: a history entry or a combo box text is a value, or a label
// and a value joined by the first "|".
#pragma once

#include <string>
#include <vector>

namespace sorvane {

struct LabelledText {
    std::wstring label;
    std::wstring value;
};

// Cuts `text` at its first "|"; both parts lose their leading and trailing
// blanks (U+0020). Without "|" the label is empty and the value is the
// whole text, trimmed the same way.
LabelledText splitLabelled(const std::wstring& text);
// "label|value", or the value alone when the label is empty.
std::wstring joinLabelled(const std::wstring& label, const std::wstring& value);
// The text without leading and trailing U+0020 blanks.
std::wstring trimmedBlanks(const std::wstring& text);

// The ";"-separated items of a list, empty ones included ("a;;b;" gives
// "a", "", "b", "").
std::vector<std::wstring> splitItems(const std::wstring& list);
std::wstring joinItems(const std::vector<std::wstring>& items);

// The text with one blank after every ";": how tips show lists so that
// they can wrap.
std::wstring blankAfterSemicolons(const std::wstring& text);

// Whether the first "*.*" of a pattern list stands as a whole item (at the
// start or after ";", and followed by the end or ";").
bool firstAllFilesIsWholeItem(const std::wstring& patterns);

// Case-insensitive equality of two texts (ordinal, as file names compare).
bool equalNoCase(const std::wstring& a, const std::wstring& b);
bool endsWith(const std::wstring& text, const wchar_t* suffix);

} // namespace sorvane
