#include "dialogs/FileType.h"

#include "engine/PathForms.h"

#include <shellapi.h>

#include <cwchar>
#include <new>
#include <string>

namespace sorvane {

namespace {

constexpr size_t kClassNameLength = 63;
constexpr size_t kIconValueLength = 291;
constexpr DWORD kExpandedPathCapacity = MAX_PATH; // 260 units with the terminator

// A text value (REG_SZ or REG_EXPAND_SZ, taken as it stands); null names
// the default value.
bool readText(HKEY key, const wchar_t* name, std::wstring& text)
{
    text.clear();
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS)
        return false;
    buffer.resize(bytes / sizeof(wchar_t));
    const size_t end = buffer.find(L'\0');
    if (end != std::wstring::npos) buffer.resize(end);
    text = std::move(buffer);
    return true;
}

// One key of the file-type registration, read as Windows merges the user's
// classes with the machine's: each value from HKCU\Software\Classes when
// the user's key has it, else from HKLM\Software\Classes. A user's key
// that holds only some values (often just "OpenWithProgids") thus takes the
// rest from the machine. The platform's merged HKEY_CLASSES_ROOT view is not
// used: it differs between platforms.
class ClassKey {
public:
    // False when neither the user's nor the machine's key exists.
    bool open(const std::wstring& name)
    {
        const std::wstring path = L"Software\\Classes\\" + name;
        const bool user = ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, user_.put()) == ERROR_SUCCESS;
        const bool machine =
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, machine_.put()) == ERROR_SUCCESS;
        if (!user) user_.reset();
        if (!machine) machine_.reset();
        return user || machine;
    }

    // The value `name` (null: the default value) of the user's key, else of
    // the machine's.
    bool read(const wchar_t* name, std::wstring& text) const
    {
        if (user_ && readText(user_.get(), name, text)) return true;
        return machine_ && readText(machine_.get(), name, text);
    }

private:
    UniqueRegKey user_;
    UniqueRegKey machine_;
};

void copyTruncated(wchar_t* out, int capacity, const wchar_t* text, size_t length)
{
    if (!out || capacity <= 0) return;
    if (length > static_cast<size_t>(capacity - 1)) length = static_cast<size_t>(capacity - 1);
    std::wmemcpy(out, text, length);
    out[length] = L'\0';
}

// A module or icon path: environment variables expanded when it names one
// (the result at most 259 characters). False when the expansion fails or
// does not fit.
bool expandPath(const std::wstring& path, std::wstring& out)
{
    if (path.find(L'%') == std::wstring::npos) {
        out = path;
        return true;
    }
    wchar_t buffer[kExpandedPathCapacity];
    const DWORD length = ::ExpandEnvironmentStringsW(path.c_str(), buffer, kExpandedPathCapacity);
    if (length == 0 || length > kExpandedPathCapacity) return false;
    out = buffer;
    return true;
}

// "path,number": the signed number after the last comma (0 without one).
void splitAtLastComma(const std::wstring& text, std::wstring& path, long& number)
{
    const size_t comma = text.rfind(L',');
    if (comma == std::wstring::npos) {
        path = text;
        number = 0;
        return;
    }
    path = text.substr(0, comma);
    number = std::wcstol(text.c_str() + comma + 1, nullptr, 10);
}

// The string of an indirect "@module,-id" text; false when it cannot be had.
bool loadIndirectString(const std::wstring& indirect, wchar_t* out, int capacity)
{
    if (indirect.size() < 2 || indirect[0] != L'@' || indirect.find(L',') == std::wstring::npos) return false;
    std::wstring module;
    long id = 0;
    splitAtLastComma(indirect.substr(1), module, id);
    const unsigned long stringId = id < 0 ? 0UL - static_cast<unsigned long>(id) : static_cast<unsigned long>(id);
    if (stringId == 0 || stringId > 0xFFFF) return false;
    std::wstring path;
    if (!expandPath(module, path) || path.empty()) return false;
    // Only its resources are wanted: nothing of the module runs.
    UniqueModule library(
        ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!library) return false;
    std::wstring text(static_cast<size_t>(capacity), L'\0');
    const int length = ::LoadStringW(library.get(), static_cast<UINT>(stringId), text.data(), capacity);
    if (length <= 0) return false;
    copyTruncated(out, capacity, text.data(), static_cast<size_t>(length));
    return true;
}

HICON loadSmallIcon(const std::wstring& iconValue)
{
    std::wstring location;
    long index = 0;
    splitAtLastComma(iconValue.substr(0, kIconValueLength), location, index);
    if (location.size() >= 2 && location.front() == L'"' && location.back() == L'"')
        location = location.substr(1, location.size() - 2);
    std::wstring path;
    if (!expandPath(location, path) || path.empty()) return nullptr;
    HICON small = nullptr;
    // A negative index names the icon by its resource id.
    if (::ExtractIconExW(path.c_str(), static_cast<int>(index), nullptr, &small, 1) == 0) return nullptr;
    return small;
}

} // namespace

int compareExtensions(const wchar_t* a, const wchar_t* b)
{
    return ::CompareStringOrdinal(a, -1, b, -1, TRUE) - CSTR_EQUAL;
}

CFileType::CFileType(const wchar_t* extension, bool isTicked, bool isTyped, uint32_t markValue)
    : ticked(isTicked ? 1 : 0), typed(isTyped ? 1 : 0), mark(markValue)
{
    if (!extension) return;
    const size_t length = std::wcslen(extension);
    if (length <= kInlineLength) {
        std::wmemcpy(inline_, extension, length + 1);
        extension_ = inline_;
        return;
    }
    separate_.reset(new (std::nothrow) wchar_t[length + 1]);
    if (!separate_) return;
    std::wmemcpy(separate_.get(), extension, length + 1);
    extension_ = separate_.get();
}

CFileType::~CFileType() = default;

int CFileTypeArray::lowerBound(const wchar_t* extension) const
{
    int low = 0;
    int high = count_;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (compareExtensions(slots_[middle]->extension(), extension) < 0) low = middle + 1;
        else high = middle;
    }
    return low;
}

int CFileTypeArray::IndexOf(const wchar_t* extension) const
{
    if (!extension) return -1;
    const int index = lowerBound(extension);
    return index < count_ && compareExtensions(slots_[index]->extension(), extension) == 0 ? index : -1;
}

CFileType* CFileTypeArray::Find(const wchar_t* extension) const { return At(IndexOf(extension)); }

bool CFileTypeArray::resize(int capacity)
{
    std::unique_ptr<std::unique_ptr<CFileType>[]> slots;
    if (capacity > 0) {
        slots.reset(new (std::nothrow) std::unique_ptr<CFileType>[static_cast<size_t>(capacity)]);
        if (!slots) return false;
    }
    for (int i = 0; i < count_; ++i) slots[i] = std::move(slots_[i]);
    slots_ = std::move(slots);
    capacity_ = capacity;
    return true;
}

int CFileTypeArray::Add(const wchar_t* extension, bool ticked, bool typed, uint32_t mark, CFileType** record)
{
    if (record) *record = nullptr;
    if (!extension) return kAddFailed;
    const int index = lowerBound(extension);
    if (index < count_ && compareExtensions(slots_[index]->extension(), extension) == 0) {
        slots_[index]->mark = mark;
        if (record) *record = slots_[index].get();
        return kExisting;
    }
    std::unique_ptr<CFileType> made(new (std::nothrow) CFileType(extension, ticked, typed, mark));
    if (!made || !made->valid()) return kAddFailed;
    if (count_ == capacity_ && !resize(capacity_ + kSlotStep)) return kAddFailed;
    for (int i = count_; i > index; --i) slots_[i] = std::move(slots_[i - 1]);
    slots_[index] = std::move(made);
    ++count_;
    if (record) *record = slots_[index].get();
    return kAdded;
}

std::unique_ptr<CFileType> CFileTypeArray::RemoveAt(int index)
{
    if (index < 0 || index >= count_) return nullptr;
    std::unique_ptr<CFileType> taken = std::move(slots_[index]);
    for (int i = index; i + 1 < count_; ++i) slots_[i] = std::move(slots_[i + 1]);
    --count_;
    // Shrinking is only an economy: when it fails the slots stay.
    if (capacity_ - count_ >= kSlotStep) resize(capacity_ - kSlotStep);
    return taken;
}

void CFileTypeArray::RemoveAll()
{
    slots_.reset();
    count_ = 0;
    capacity_ = 0;
}

bool Describe(const wchar_t* text, wchar_t* description, int capacity, HICON* smallIcon)
{
    if (description && capacity > 0) description[0] = L'\0';
    if (smallIcon) *smallIcon = nullptr;
    if (!text) return false;
    const wchar_t* extension = text[0] == L'.' ? text : extensionDot(text);
    if (!extension) return false;

    ClassKey extensionKey;
    if (!extensionKey.open(extension)) return false;
    std::wstring className;
    extensionKey.read(nullptr, className);
    if (className.size() > kClassNameLength) className.resize(kClassNameLength);
    // A key without a class names no file type.
    if (className.empty()) return false;

    ClassKey classKey;
    if (classKey.open(className)) {
        std::wstring value;
        if (classKey.read(nullptr, value)) copyTruncated(description, capacity, value.data(), value.size());
        if (classKey.read(L"FriendlyTypeName", value) && description && capacity > 0)
            loadIndirectString(value, description, capacity);
    }

    if (smallIcon) {
        ClassKey iconKey;
        std::wstring iconValue;
        if (iconKey.open(className + L"\\DefaultIcon") && iconKey.read(nullptr, iconValue) && !iconValue.empty())
            *smallIcon = loadSmallIcon(iconValue);
    }
    return true;
}

} // namespace sorvane
