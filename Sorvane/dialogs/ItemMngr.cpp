#include "dialogs/ItemMngr.h"

#include "dialogs/ProfileFile.h"

#include "engine/PatternMatch.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace sorvane {

namespace {

// Label and value of an entry, each trimmed of blanks.
struct SplitEntry {
    wchar_t label[kDisplayNameCapacity];
    wchar_t value[kPatternTextCapacity];
    explicit SplitEntry(const wchar_t* text) { splitNameAndPatterns(text, label, value); }
};

bool equalIgnoringCase(const wchar_t* a, const wchar_t* b)
{
    return ::CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// Copies at most capacity − 1 units and terminates.
void copyBounded(wchar_t* out, size_t capacity, const wchar_t* text, size_t length)
{
    if (length > capacity - 1) length = capacity - 1;
    std::wmemcpy(out, text, length);
    out[length] = L'\0';
}

void copyBounded(wchar_t* out, size_t capacity, const wchar_t* text)
{
    copyBounded(out, capacity, text ? text : L"", text ? std::wcslen(text) : 0);
}

std::string toAnsi(const wchar_t* text)
{
    const int needed = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1) return {};
    std::string result(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), needed, nullptr, nullptr);
    result.resize(static_cast<size_t>(needed - 1));
    return result;
}

// The value converted from the ANSI code page into `slot`, cut at a NUL
// and at 519 characters (never between the halves of a surrogate pair).
void fromAnsi(const std::string& value, wchar_t* slot, size_t capacity)
{
    slot[0] = L'\0';
    if (value.empty()) return;
    const int length = static_cast<int>(value.size());
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, value.data(), length, nullptr, 0);
    if (needed <= 0) return;
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, value.data(), length, wide.data(), needed);
    size_t cut = wide.find(L'\0');
    if (cut == std::wstring::npos) cut = wide.size();
    if (cut > capacity - 1) {
        cut = capacity - 1;
        if (wide[cut - 1] >= 0xD800 && wide[cut - 1] <= 0xDBFF) --cut;
    }
    copyBounded(slot, capacity, wide.data(), cut);
}

} // namespace

CItemMngr::CItemMngr() { Clear(); }

CItemMngr::~CItemMngr() = default;

void CItemMngr::Clear()
{
    count_ = 0;
    for (auto& entry : entries_) entry[0] = L'\0';
}

void CItemMngr::Add(const wchar_t* text, bool toFront)
{
    wchar_t entry[kEntryCapacity];
    copyBounded(entry, kEntryCapacity, text);
    const SplitEntry added(entry);

    for (int i = 0; i < count_; ++i) {
        const SplitEntry stored(entries_[i]);
        const bool sameLabel = equalIgnoringCase(added.label, stored.label);
        const bool sameValue = equalIgnoringCase(added.value, stored.value);
        if (!(sameValue || (added.label[0] && stored.label[0] && sameLabel))) continue;

        if (!(sameLabel && sameValue)) {
            if (added.label[0] || !stored.label[0]) {
                copyBounded(entries_[i], kEntryCapacity, entry);
            } else {
                // A bare value keeps the label the entry had.
                std::wstring joined = stored.label;
                joined += L'|';
                joined += added.value;
                copyBounded(entries_[i], kEntryCapacity, joined.c_str());
            }
        }
        if (toFront && i > 0) {
            wchar_t moved[kEntryCapacity];
            std::wmemcpy(moved, entries_[i], kEntryCapacity);
            for (int k = i; k > 0; --k) std::wmemcpy(entries_[k], entries_[k - 1], kEntryCapacity);
            std::wmemcpy(entries_[0], moved, kEntryCapacity);
        }
        return;
    }

    if (toFront) {
        const int last = count_ < kMaxEntries ? count_ : kMaxEntries - 1;
        for (int k = last; k > 0; --k) std::wmemcpy(entries_[k], entries_[k - 1], kEntryCapacity);
        std::wmemcpy(entries_[0], entry, kEntryCapacity);
        if (count_ < kMaxEntries) ++count_;
    } else if (count_ < kMaxEntries) {
        std::wmemcpy(entries_[count_], entry, kEntryCapacity);
        ++count_;
    }
}

bool CItemMngr::RemoveAt(int index)
{
    if (index < 0 || index >= count_) return false;
    for (int k = index; k + 1 < count_; ++k) std::wmemcpy(entries_[k], entries_[k + 1], kEntryCapacity);
    --count_;
    entries_[count_][0] = L'\0';
    return true;
}

int CItemMngr::FindInFolder(const wchar_t* text, wchar_t separator) const
{
    const SplitEntry wanted(text ? text : L"");
    const int length = static_cast<int>(std::wcslen(wanted.value));
    for (int i = 0; i < count_; ++i) {
        const SplitEntry stored(entries_[i]);
        if (static_cast<int>(std::wcslen(stored.value)) < length) continue;
        if (length > 0 && ::CompareStringOrdinal(stored.value, length, wanted.value, length, TRUE) != CSTR_EQUAL)
            continue;
        const wchar_t* rest = stored.value + length;
        if (*rest == L'\0' || separator == L'\0') return i;
        if (*rest == separator && !std::wcschr(rest + 1, separator)) return i;
    }
    return -1;
}

const wchar_t* CItemMngr::At(int index) const
{
    if (index < 0 || index >= count_) return nullptr;
    return entries_[index];
}

bool CItemMngr::FillCombo(HWND dialog, int controlId) const
{
    HWND combo = ::GetDlgItem(dialog, controlId);
    if (!combo) return false;
    for (int i = 0; i < count_; ++i)
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries_[i]));
    return true;
}

bool CItemMngr::Load(const wchar_t* section, const wchar_t* profilePath)
{
    Clear();
    const std::wstring path = profilePath ? profilePath : L"";
    const std::string sectionName = toAnsi(section ? section : L"");
    CProfileFile file;
    if (path.empty() || !file.Open(path.c_str())) return false;

    // A missing "Num" reads all 32 keys; so does a larger one, since no
    // more than 32 entries can be held and this list never writes more.
    long n = file.ReadInt(sectionName.c_str(), "Num", kMaxEntries);
    if (n > kMaxEntries) n = kMaxEntries;
    for (long k = 1; k <= n && count_ < kMaxEntries; ++k) {
        char key[24];
        std::snprintf(key, sizeof(key), "Item%ld", k);
        std::string value;
        if (!file.ReadValue(sectionName.c_str(), key, value)) continue;
        fromAnsi(value, entries_[count_], kEntryCapacity);
        if (entries_[count_][0] != L'\0') ++count_;
    }
    file.Close();
    return true;
}

bool CItemMngr::Save(const wchar_t* section, const wchar_t* profilePath) const
{
    const std::wstring path = profilePath ? profilePath : L"";
    const std::string sectionName = toAnsi(section ? section : L"");
    CProfileFile file;
    if (path.empty() || !file.Open(path.c_str())) return false;

    file.WriteInt(sectionName.c_str(), "Num", count_);
    for (int i = 0; i < count_; ++i) {
        char key[24];
        std::snprintf(key, sizeof(key), "Item%d", i + 1);
        file.WriteText(sectionName.c_str(), key, toAnsi(entries_[i]).c_str());
    }
    return file.Close();
}

} // namespace sorvane
