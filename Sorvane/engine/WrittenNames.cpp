#include "engine/WrittenNames.h"

#include "common/Raii.h"
#include "engine/ListingIndex.h"
#include "engine/PathForms.h"
#include "engine/SameFile.h"

#include <atomic>
#include <cwchar>
#include <tuple>

namespace sorvane {

namespace {

// FILE_CASE_SENSITIVE_INFO and its flag, which this platform's headers may lack.
constexpr int kFileCaseSensitiveInfo = 23;
constexpr ULONG kCaseSensitiveDirectory = 0x1;

bool systemCaseSensitivity(HANDLE folder)
{
    ULONG flags = 0;
    if (!::GetFileInformationByHandleEx(folder, static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileCaseSensitiveInfo), &flags,
                                        sizeof(flags))) {
        return false;
    }
    return (flags & kCaseSensitiveDirectory) != 0;
}

std::atomic<WrittenNames::CaseSensitivityQuery> g_caseQuery{nullptr};

} // namespace

bool WrittenNames::Key::operator<(const Key& other) const
{
    return std::tie(volume, idLow, idHigh) < std::tie(other.volume, other.idLow, other.idHigh);
}

WrittenNames::WrittenNames() = default;
WrittenNames::~WrittenNames() = default;

void WrittenNames::overrideCaseSensitivityQuery(CaseSensitivityQuery query) { g_caseQuery.store(query); }

WrittenFolder* WrittenNames::folder(const wchar_t* path)
{
    if (!path || !*path) return nullptr;
    std::wstring name = path;
    // A folder is opened by its name without the trailing backslash, but
    // a drive's root keeps it.
    if (name.size() > 1 && name.back() == L'\\' && name[name.size() - 2] != L':') name.pop_back();
    UniqueFile handle(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        if (!keyByPath_ || !isMissing(::GetLastError())) return nullptr;
        foldNameCase(name.data(), name.size());
        std::unique_ptr<WrittenFolder>& planned = byPath_[name];
        if (!planned) planned = std::make_unique<WrittenFolder>(false);
        return planned.get();
    }
    const FileFacts facts = readFileFacts(handle.get());
    if (!facts.known) return nullptr;
    const Key key = {facts.volume, facts.idLow, facts.idHigh};
    auto found = folders_.find(key);
    if (found != folders_.end()) return found->second.get();
    const CaseSensitivityQuery query = g_caseQuery.load();
    const bool caseSensitive = query ? query(handle.get()) : systemCaseSensitivity(handle.get());
    auto folder = std::make_unique<WrittenFolder>(caseSensitive);
    WrittenFolder* result = folder.get();
    folders_.emplace(key, std::move(folder));
    return result;
}

std::wstring WrittenFolder::keyOf(const wchar_t* name) const
{
    std::wstring key = name ? name : L"";
    if (!caseSensitive_) foldNameCase(key.data(), key.size());
    return key;
}

const std::wstring* WrittenFolder::writer(const wchar_t* name) const
{
    const auto found = names_.find(keyOf(name));
    return found == names_.end() ? nullptr : &found->second;
}

void WrittenFolder::add(const wchar_t* name, const wchar_t* source)
{
    names_.emplace(keyOf(name), source ? source : L"");
}

} // namespace sorvane
