// The names a run has written, per target folder, so that a second source
// that would land on a name the run already wrote (names that differ only
// by case, or two selected folders that land in one) is refused instead of
// replacing the first. Names compare as their folder compares them: case
// sensitively only where the folder says it is (per-directory case
// sensitivity); a folder that cannot say counts as case-insensitive.
// Folders are told apart by identity, so that every spelling of one folder
// is that folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace sorvane {

class WrittenFolder;

class WrittenNames {
public:
        WrittenNames();
    ~WrittenNames();
    WrittenNames(const WrittenNames&) = delete;
    WrittenNames& operator=(const WrittenNames&) = delete;

    // The record of the folder at `path` (a folder path, with or without a
    // trailing backslash), made on first use. Null when the folder cannot
    // be opened: nothing can be written there either.
    WrittenFolder* folder(const wchar_t* path);

    // For a plan, which writes nothing: a folder that is not there yet
    // (the run would make it) gets a record by its path, compared without
    // regard to case, instead of none.
    void setKeyByPathWhenMissing(bool byPath) noexcept { keyByPath_ = byPath; }

    // Reads whether a folder compares names case-sensitively; replaceable
    // for tests. False where the platform cannot say.
    using CaseSensitivityQuery = bool (*)(HANDLE folder);
    static void overrideCaseSensitivityQuery(CaseSensitivityQuery query);

private:
    struct Key {
        uint64_t volume;
        uint64_t idLow;
        uint64_t idHigh;
        bool operator<(const Key& other) const;
    };
    std::map<Key, std::unique_ptr<WrittenFolder>> folders_;
    std::map<std::wstring, std::unique_ptr<WrittenFolder>> byPath_;
    bool keyByPath_ = false;
};

class WrittenFolder {
public:
    explicit WrittenFolder(bool caseSensitive) : caseSensitive_(caseSensitive) {}
    // The source that wrote `name` here, or null when the run wrote no
    // such name in this folder.
    const std::wstring* writer(const wchar_t* name) const;
    // Records that `source` was written here as `name`.
    void add(const wchar_t* name, const wchar_t* source);
    bool caseSensitive() const noexcept { return caseSensitive_; }

private:
    std::wstring keyOf(const wchar_t* name) const;
    bool caseSensitive_;
    std::map<std::wstring, std::wstring> names_;
};

} // namespace sorvane
