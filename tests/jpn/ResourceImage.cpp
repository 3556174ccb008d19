#include "ResourceImage.h"

#include <cstring>
#include <cwctype>

namespace sorvane::test {

namespace {

// Reads the fields of a template in order, keeping track of the end.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    WORD word()
    {
        WORD value = 0;
        read(&value, sizeof(value));
        return value;
    }
    DWORD dword()
    {
        DWORD value = 0;
        read(&value, sizeof(value));
        return value;
    }
    short shortValue() { return static_cast<short>(word()); }
    BYTE byte()
    {
        BYTE value = 0;
        read(&value, sizeof(value));
        return value;
    }
    std::wstring text()
    {
        std::wstring value;
        for (;;) {
            const wchar_t c = static_cast<wchar_t>(word());
            if (!ok_ || c == 0) return value;
            value += c;
        }
    }
    // A number (0xFFFF followed by it), nothing (0) or a text.
    void textOrOrdinal(std::wstring& text, WORD& ordinal)
    {
        text.clear();
        ordinal = 0;
        if (at_ + 2 > bytes_.size()) {
            ok_ = false;
            return;
        }
        WORD first = 0;
        std::memcpy(&first, bytes_.data() + at_, 2);
        if (first == 0xFFFF) {
            at_ += 2;
            ordinal = word();
        } else {
            text = this->text();
        }
    }
    void alignDword() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
    void skip(size_t count)
    {
        if (at_ + count > bytes_.size()) ok_ = false;
        at_ += count;
    }

private:
    void read(void* out, size_t size)
    {
        if (at_ + size > bytes_.size()) {
            ok_ = false;
            return;
        }
        std::memcpy(out, bytes_.data() + at_, size);
        at_ += size;
    }

    const std::string& bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

std::wstring predefinedClass(WORD ordinal)
{
    switch (ordinal) {
    case 0x80: return L"Button";
    case 0x81: return L"Edit";
    case 0x82: return L"Static";
    case 0x83: return L"ListBox";
    case 0x84: return L"ScrollBar";
    case 0x85: return L"ComboBox";
    default: return L"#" + std::to_wstring(ordinal);
    }
}

// Class names compare without regard to case: "COMBOBOX" is "ComboBox".
std::wstring canonicalClass(const std::wstring& name)
{
    for (const wchar_t* known : {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"}) {
        if (::lstrcmpiW(name.c_str(), known) == 0) return known;
    }
    return name;
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::vector<LANGID>*>(param)->push_back(language);
    return TRUE;
}

struct Collector {
    const ResourceImage* image;
    std::vector<ResourceEntry>* entries;
};

BOOL CALLBACK collectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param)
{
    auto* collector = reinterpret_cast<Collector*>(param);
    std::vector<LANGID> languages;
    ::EnumResourceLanguagesW(module, type, name, collectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    for (LANGID language : languages)
        collector->entries->push_back({ResourceKey::from(type), ResourceKey::from(name), language});
    return TRUE;
}

BOOL CALLBACK collectType(HMODULE module, LPWSTR type, LONG_PTR param)
{
    ::EnumResourceNamesW(module, type, collectName, param);
    return TRUE;
}

} // namespace

ResourceKey ResourceKey::from(LPCWSTR key)
{
    ResourceKey result;
    if (IS_INTRESOURCE(key))
        result.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(key));
    else
        result.text = key;
    return result;
}

const DialogControl* DialogTemplate::control(DWORD id) const
{
    for (const DialogControl& c : controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

std::optional<DialogTemplate> parseDialogTemplate(const std::string& bytes)
{
    TemplateReader in(bytes);
    if (in.word() != 1 || in.word() != 0xFFFF) return std::nullopt; // not an extended template
    DialogTemplate dialog;
    in.dword(); // help id
    dialog.exStyle = in.dword();
    dialog.style = in.dword();
    const WORD count = in.word();
    dialog.x = in.shortValue();
    dialog.y = in.shortValue();
    dialog.cx = in.shortValue();
    dialog.cy = in.shortValue();
    std::wstring ignored;
    WORD ordinal = 0;
    in.textOrOrdinal(ignored, ordinal); // menu
    in.textOrOrdinal(ignored, ordinal); // window class
    dialog.caption = in.text();
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog.pointSize = in.word();
        in.word(); // weight
        in.byte(); // italic
        dialog.charset = in.byte();
        dialog.typeface = in.text();
    }
    for (WORD i = 0; i < count && in.ok(); ++i) {
        in.alignDword();
        DialogControl control;
        in.dword(); // help id
        control.exStyle = in.dword();
        control.style = in.dword();
        control.x = in.shortValue();
        control.y = in.shortValue();
        control.cx = in.shortValue();
        control.cy = in.shortValue();
        control.id = in.dword();
        std::wstring className;
        WORD classOrdinal = 0;
        in.textOrOrdinal(className, classOrdinal);
        control.className = classOrdinal ? predefinedClass(classOrdinal) : canonicalClass(className);
        in.textOrOrdinal(control.text, control.textOrdinal);
        const WORD extra = in.word();
        in.skip(extra);
        dialog.controls.push_back(control);
    }
    if (!in.ok()) return std::nullopt;
    return dialog;
}

std::vector<MenuItem> readMenu(HMENU menu)
{
    std::vector<MenuItem> items;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = 256;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        MenuItem item;
        item.id = info.wID;
        item.separator = (info.fType & MFT_SEPARATOR) != 0;
        item.text = text;
        if (info.hSubMenu) {
            item.id = 0; // a popup's identifier is its menu handle
            item.isPopup = true;
            item.popup = readMenu(info.hSubMenu);
        }
        items.push_back(item);
    }
    return items;
}

ResourceImage::ResourceImage(const std::wstring& path)
    : module_(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
{
}

ResourceImage::~ResourceImage()
{
    if (module_) ::FreeLibrary(module_);
}

std::vector<ResourceEntry> ResourceImage::entries() const
{
    std::vector<ResourceEntry> list;
    if (!module_) return list;
    Collector collector{this, &list};
    ::EnumResourceTypesW(module_, collectType, reinterpret_cast<LONG_PTR>(&collector));
    return list;
}

std::vector<LANGID> ResourceImage::languages(LPCWSTR type, LPCWSTR name) const
{
    std::vector<LANGID> list;
    if (module_) ::EnumResourceLanguagesW(module_, type, name, collectLanguage, reinterpret_cast<LONG_PTR>(&list));
    return list;
}

std::optional<std::string> ResourceImage::data(LPCWSTR type, LPCWSTR name, LANGID language) const
{
    if (!module_) return std::nullopt;
    HRSRC found = ::FindResourceExW(module_, type, name, language);
    if (!found) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(module_, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes) return std::nullopt;
    return std::string(static_cast<const char*>(bytes), ::SizeofResource(module_, found));
}

std::optional<std::string> ResourceImage::data(LPCWSTR type, LPCWSTR name) const
{
    const std::vector<LANGID> list = languages(type, name);
    if (list.empty()) return std::nullopt;
    return data(type, name, list.front());
}

std::map<UINT, std::wstring> ResourceImage::strings() const
{
    std::map<UINT, std::wstring> table;
    for (const ResourceEntry& entry : entries()) {
        if (entry.type.id != 6 /* RT_STRING */ || entry.name.id == 0) continue;
        const std::optional<std::string> bundle = data(entry.type.get(), entry.name.get(), entry.language);
        if (!bundle) continue;
        // Sixteen counted texts; bundle n holds the identifiers (n - 1) * 16 to n * 16 - 1.
        const std::string& bytes = *bundle;
        size_t at = 0;
        for (UINT i = 0; i < 16 && at + 2 <= bytes.size(); ++i) {
            WORD length = 0;
            std::memcpy(&length, bytes.data() + at, 2);
            at += 2;
            if (at + length * 2u > bytes.size()) break;
            if (length) {
                std::wstring text(length, L'\0');
                std::memcpy(text.data(), bytes.data() + at, length * 2u);
                table[(entry.name.id - 1u) * 16u + i] = text;
            }
            at += length * 2u;
        }
    }
    return table;
}

std::optional<DialogTemplate> ResourceImage::dialog(WORD id) const
{
    const std::optional<std::string> bytes = data(RT_DIALOG, MAKEINTRESOURCEW(id));
    if (!bytes) return std::nullopt;
    return parseDialogTemplate(*bytes);
}

std::vector<MenuItem> ResourceImage::menu(WORD id) const
{
    if (!module_) return {};
    HMENU menu = ::LoadMenuW(module_, MAKEINTRESOURCEW(id));
    if (!menu) return {};
    std::vector<MenuItem> items = readMenu(menu);
    ::DestroyMenu(menu);
    return items;
}

wchar_t mnemonic(const std::wstring& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] == L'&') {
            ++i;
            continue;
        }
        return static_cast<wchar_t>(std::towupper(text[i + 1]));
    }
    return 0;
}

std::vector<std::wstring> conversions(const std::wstring& text)
{
    std::vector<std::wstring> list;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') continue;
        size_t end = i + 1;
        if (end < text.size() && text[end] == L'%') {
            i = end;
            continue;
        }
        while (end < text.size() && (std::iswdigit(text[end]) || text[end] == L'.' || text[end] == L'-')) ++end;
        while (end < text.size() && (text[end] == L'l' || text[end] == L'h' || text[end] == L'I')) ++end;
        if (end < text.size()) list.push_back(text.substr(i, end - i + 1));
        i = end;
    }
    return list;
}

bool hasJapanese(const std::wstring& text)
{
    for (wchar_t c : text) {
        if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF01 && c <= 0xFF9F)) return true;
    }
    return false;
}

} // namespace sorvane::test
