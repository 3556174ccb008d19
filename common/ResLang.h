// Chooses the module from which a program loads its dialogs, menus, strings,
// bitmaps and icons: a language library beside the program that matches the
// user's interface language (named "<base>.<LANGID hex>"), or the program's
// own module with its built-in English resources.
#pragma once

#include <windows.h>

namespace sorvane {

class CResLang {
public:
    static constexpr DWORD kDefaultLanguage = 1033;
    static constexpr int kBaseNameCapacity = 128;

    CResLang() = default;
    virtual ~CResLang();
    CResLang(const CResLang&) = delete;
    CResLang& operator=(const CResLang&) = delete;

    // Picks the resource module; true when it is a language library.
    // requestedLanguage: a LANGID, optionally with a variant in the high word
    // (0 asks for the user's interface language). baseName: file-name stem of
    // the language libraries, or null to use the own module's name.
    bool Load(HMODULE ownModule, DWORD requestedLanguage, const wchar_t* baseName);
    // Frees a loaded language library and falls back to the own module.
    bool Unload();

    HMODULE resourceModule() const noexcept { return resourceModule_ ? resourceModule_ : ownModule_; }
    HMODULE ownModule() const noexcept { return ownModule_; }
    DWORD currentLanguage() const noexcept { return currentLanguage_; }
    LANGID ownLanguage() const noexcept { return ownLanguage_; }
    const wchar_t* baseName() const noexcept { return baseName_; }

private:
    HMODULE ownModule_ = nullptr;
    HMODULE resourceModule_ = nullptr;
    DWORD currentLanguage_ = kDefaultLanguage;
    LANGID ownLanguage_ = static_cast<LANGID>(kDefaultLanguage);
    wchar_t baseName_[kBaseNameCapacity] = {};
};

namespace reslang {

// Parses hexadecimal text: leading blanks and an optional "0x" skipped; the
// first non-digit ends the number; empty text gives 0.
unsigned parseHex(const wchar_t* text, int maxDigits);

// Forms the language library path for `language` from the module path:
// the extension (after the last '.' behind the last '\') is replaced, or the
// suffix appended. Suffix ".%04X", or ".%04X%X" when the high word holds a
// variant. False when the result would not fit.
bool languageLibraryPath(const wchar_t* modulePath, DWORD language, wchar_t* out, size_t capacity);

// The first language in which `module` carries dialog resource 200, or 0.
LANGID firstDialogLanguage(HMODULE module);

} // namespace reslang

} // namespace sorvane
