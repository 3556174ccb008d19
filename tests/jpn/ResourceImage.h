// Reads the resources of a built binary without running any of its code:
// the inventory (type, name, language), raw data, the string table, dialog
// templates and menus, as the system's resource functions hand them out.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sorvane::test {

// A resource type or name: a number, or a text.
struct ResourceKey {
    WORD id = 0;
    std::wstring text; // used when id is 0

    static ResourceKey from(LPCWSTR key);
    LPCWSTR get() const { return id ? MAKEINTRESOURCEW(id) : text.c_str(); }
    bool operator==(const ResourceKey& other) const { return id == other.id && text == other.text; }
    bool operator<(const ResourceKey& other) const
    {
        return id != other.id ? id < other.id : text < other.text;
    }
};

struct ResourceEntry {
    ResourceKey type;
    ResourceKey name;
    LANGID language;
};

struct DialogControl {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::wstring className; // predefined classes by their names ("Button", "Edit", ...)
    std::wstring text;      // empty when the title is an ordinal
    WORD textOrdinal = 0;   // a resource number (the picture of an ICON control), else 0
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring typeface;
    BYTE charset = 0;
    std::vector<DialogControl> controls;

    const DialogControl* control(DWORD id) const;
};

// Parses an extended dialog template (DLGTEMPLATEEX); nothing when the
// bytes are not one.
std::optional<DialogTemplate> parseDialogTemplate(const std::string& bytes);

// One menu item, with its submenu's items.
struct MenuItem {
    UINT id = 0;
    bool separator = false;
    std::wstring text;
    std::vector<MenuItem> popup;
    bool isPopup = false;
};
std::vector<MenuItem> readMenu(HMENU menu);

// A binary mapped as data. Resource lookups by language are exact: no
// fallback to another language.
class ResourceImage {
public:
    explicit ResourceImage(const std::wstring& path);
    ~ResourceImage();
    ResourceImage(const ResourceImage&) = delete;
    ResourceImage& operator=(const ResourceImage&) = delete;

    bool loaded() const { return module_ != nullptr; }
    HMODULE module() const { return module_; }

    std::vector<ResourceEntry> entries() const;
    // The languages in which the binary carries a resource.
    std::vector<LANGID> languages(LPCWSTR type, LPCWSTR name) const;
    // The bytes of a resource in one language.
    std::optional<std::string> data(LPCWSTR type, LPCWSTR name, LANGID language) const;
    // The bytes of a resource in the first language the binary lists.
    std::optional<std::string> data(LPCWSTR type, LPCWSTR name) const;

    // Every string of the string table with text, by identifier (all
    // languages together; a binary carries its table in one language).
    std::map<UINT, std::wstring> strings() const;
    std::optional<DialogTemplate> dialog(WORD id) const;
    // The menu's items; empty when there is no such menu.
    std::vector<MenuItem> menu(WORD id) const;

private:
    HMODULE module_ = nullptr;
};

// The mnemonic of a text ("&F" gives 'F', upper case), or 0 when it has
// none ("&&" is a literal ampersand).
wchar_t mnemonic(const std::wstring& text);
// The printf conversions of a format text in order ("%d", "%s", "%02d").
std::vector<std::wstring> conversions(const std::wstring& text);
// True when the text holds kana or CJK ideographs.
bool hasJapanese(const std::wstring& text);

} // namespace sorvane::test
