#include "common/ResLang.h"

#include <cwchar>

namespace sorvane {

namespace {

constexpr int kMarkerDialogId = 200;
constexpr size_t kPathCapacity = MAX_PATH * 2;

WORD primaryLanguage(DWORD language) { return static_cast<WORD>(language & 0x3FF); }
WORD subLanguage(DWORD language) { return static_cast<WORD>((language & 0xFFFF) >> 10); }

// A path "exists" when its attributes can be read; a folder counts too.
bool pathExists(const wchar_t* path)
{
    wchar_t copy[kPathCapacity];
    std::wcsncpy(copy, path, kPathCapacity - 1);
    copy[kPathCapacity - 1] = L'\0';
    size_t len = std::wcslen(copy);
    if (len > 0 && copy[len - 1] == L'\\') copy[len - 1] = L'\0';
    return ::GetFileAttributesW(copy) != INVALID_FILE_ATTRIBUTES;
}

BOOL CALLBACK takeFirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    *reinterpret_cast<LANGID*>(param) = language;
    return FALSE; // the first one reported is the one we keep
}

HMODULE loadLanguageLibrary(const wchar_t* path)
{
    if (!pathExists(path)) return nullptr;
    // A resource-only library: never run any code of it beyond its entry.
    return ::LoadLibraryW(path);
}

// Start of the extension of the file name in `path` (the last '.' after the
// last backslash or slash), or null.
const wchar_t* extensionOf(const wchar_t* path)
{
    const wchar_t* dot = nullptr;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/') dot = nullptr;
        else if (*p == L'.') dot = p;
    }
    return dot;
}

} // namespace

namespace reslang {

unsigned parseHex(const wchar_t* text, int maxDigits)
{
    if (!text) return 0;
    while (*text == L' ') ++text;
    if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) text += 2;
    unsigned value = 0;
    for (int i = 0; i < maxDigits; ++i, ++text) {
        const wchar_t c = *text;
        unsigned digit;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        else break;
        value = value * 16 + digit;
    }
    return value;
}

bool languageLibraryPath(const wchar_t* modulePath, DWORD language, wchar_t* out, size_t capacity)
{
    wchar_t suffix[16];
    const WORD langId = static_cast<WORD>(language & 0xFFFF);
    const unsigned variant = language >> 16;
    if (variant == 0) std::swprintf(suffix, 16, L".%04X", langId);
    else std::swprintf(suffix, 16, L".%04X%X", langId, variant);

    const size_t len = std::wcslen(modulePath);
    const wchar_t* ext = extensionOf(modulePath);
    const size_t stem = ext ? static_cast<size_t>(ext - modulePath) : len;
    if (stem + std::wcslen(suffix) + 1 > capacity) return false;
    std::wmemcpy(out, modulePath, stem);
    std::wcscpy(out + stem, suffix);
    return true;
}

LANGID firstDialogLanguage(HMODULE module)
{
    LANGID language = 0;
    ::EnumResourceLanguagesW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(kMarkerDialogId),
                             takeFirstLanguage, reinterpret_cast<LONG_PTR>(&language));
    return language;
}

} // namespace reslang

CResLang::~CResLang() { Unload(); }

bool CResLang::Load(HMODULE ownModule, DWORD requestedLanguage, const wchar_t* baseName)
{
    wchar_t modulePath[kPathCapacity];
    const DWORD got = ::GetModuleFileNameW(ownModule, modulePath, kPathCapacity);
    if (got == 0 || got >= kPathCapacity) return false;

    // 1. Long form of the module path, with the base name applied.
    wchar_t path[kPathCapacity];
    const DWORD longLen = ::GetLongPathNameW(modulePath, path, kPathCapacity);
    if (longLen == 0 || longLen >= kPathCapacity) std::wcscpy(path, modulePath);
    if (baseName && *baseName) {
        std::wcsncpy(baseName_, baseName, kBaseNameCapacity - 1);
        baseName_[kBaseNameCapacity - 1] = L'\0';
        wchar_t* slash = std::wcsrchr(path, L'\\');
        wchar_t* name = slash ? slash + 1 : path;
        const size_t room = kPathCapacity - static_cast<size_t>(name - path);
        // Keep the module's extension so that it is replaced like any other.
        const wchar_t* ext = extensionOf(modulePath);
        wchar_t extension[kPathCapacity] = {};
        if (ext) std::wcsncpy(extension, ext, kPathCapacity - 1);
        if (std::wcslen(baseName_) + std::wcslen(extension) + 1 > room) return false;
        std::wcscpy(name, baseName_);
        std::wcscat(name, extension);
    } else {
        baseName_[0] = L'\0';
    }

    ownModule_ = ownModule;

    // 2. The own module's language is that of its dialog 200.
    if (const LANGID own = reslang::firstDialogLanguage(ownModule)) ownLanguage_ = own;

    auto useOwnModule = [this]() {
        resourceModule_ = ownModule_;
        currentLanguage_ = ownLanguage_;
        return false;
    };
    auto useLibrary = [this](HMODULE library, DWORD language) {
        resourceModule_ = library;
        currentLanguage_ = language;
        return library != ownModule_;
    };

    wchar_t candidate[kPathCapacity];

    // 3. An explicitly requested language (with a variant, or without it).
    if (reslang::languageLibraryPath(path, requestedLanguage, candidate, kPathCapacity)) {
        HMODULE library = nullptr;
        if (pathExists(candidate)) {
            library = loadLanguageLibrary(candidate);
        } else if ((requestedLanguage >> 16) != 0 &&
                   reslang::languageLibraryPath(path, requestedLanguage & 0xFFFF, candidate, kPathCapacity)) {
            library = loadLanguageLibrary(candidate);
        }
        if (library) {
            DWORD language = requestedLanguage;
            if (language == 0) language = reslang::firstDialogLanguage(library);
            return useLibrary(library, language);
        }
    }

    // 4. The user's interface language, when the own module speaks it.
    const LANGID ui = ::GetUserDefaultUILanguage();
    if (primaryLanguage(ui) == primaryLanguage(ownLanguage_)) return useOwnModule();

    // 5. A library for exactly that language.
    if (reslang::languageLibraryPath(path, ui, candidate, kPathCapacity)) {
        if (HMODULE library = loadLanguageLibrary(candidate)) return useLibrary(library, ui);
    }

    // 6. The best library of the same primary language: sublanguage 1 at
    // once, else the smallest sublanguage (the first found on a tie).
    DWORD best = 0;
    wchar_t pattern[kPathCapacity];
    if (const wchar_t* ext = extensionOf(path)) {
        const size_t stem = static_cast<size_t>(ext - path);
        std::wmemcpy(pattern, path, stem);
        pattern[stem] = L'\0';
    } else {
        std::wcscpy(pattern, path);
    }
    if (std::wcslen(pattern) + 3 <= kPathCapacity) {
        std::wcscat(pattern, L".*");
        WIN32_FIND_DATAW found;
        HANDLE find = ::FindFirstFileW(pattern, &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (found.dwFileAttributes & 0x1610) continue; // folder, sparse, reparse, offline
                const wchar_t* dot = extensionOf(found.cFileName);
                if (!dot || std::wcslen(dot + 1) < 4) continue;
                const WORD langId = static_cast<WORD>(reslang::parseHex(dot + 1, 4));
                const unsigned variant = std::wcslen(dot + 1) >= 5 ? reslang::parseHex(dot + 5, 2) : 0;
                if (langId == 0 || primaryLanguage(langId) != primaryLanguage(ui)) continue;
                const DWORD value = (static_cast<DWORD>(variant) << 16) | langId;
                if (subLanguage(langId) == 1) {
                    best = value;
                    break;
                }
                if (best == 0 || subLanguage(langId) < subLanguage(best)) best = value;
            } while (::FindNextFileW(find, &found));
            ::FindClose(find);
        }
    }

    // 7. Load the kept candidate, or fall back to the own module.
    if (best != 0 && reslang::languageLibraryPath(path, best, candidate, kPathCapacity)) {
        if (HMODULE library = loadLanguageLibrary(candidate)) return useLibrary(library, best);
    }
    return useOwnModule();
}

bool CResLang::Unload()
{
    if (resourceModule_ && resourceModule_ != ownModule_) ::FreeLibrary(resourceModule_);
    resourceModule_ = ownModule_;
    return true;
}

} // namespace sorvane
