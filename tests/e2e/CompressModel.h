// The tests' own account of what a compress run must archive, worked out
// from the tree and the filter alone: it shares nothing with the program's
// matcher or walk.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace sorvane::e2e {

// A tree of files and folders, paths relative to its root ('\' between parts).
struct Tree {
    struct File {
        std::wstring path;
        std::string bytes;
    };
    std::vector<File> files;
    std::set<std::wstring> folders; // every folder, also those that hold files

    void addFile(const std::wstring& path, const std::string& bytes);
    void addFolder(const std::wstring& path);
    const File* findFile(const std::wstring& path) const;
    // Makes the tree under `root` (which exists).
    bool write(const std::wstring& root) const;
};

struct Filter {
    std::wstring patterns = L"*.*"; // ';'-separated, '*' and '?' only
    bool exclude = false;
    bool subfolders = true;
    // Whether a file's time lies in the range; null: no time range.
    std::function<bool(const Tree::File&)> inTimeRange;
};

// What the source list names: items of `parent` (relative to the tree's
// root, empty for the root), or with `wholeFolder` the content of `parent`.
struct Selection {
    std::wstring parent;
    std::vector<std::wstring> names;
    bool wholeFolder = false;
};

struct Expectation {
    std::vector<std::wstring> members; // relative to the parent, sorted
    unsigned missing = 0;              // selected names that are no item
};

// `skip`: a file never archived (the archive itself), relative to the root.
Expectation expectedMembers(const Tree& tree, const Selection& selection, const Filter& filter,
                            const std::wstring& skip = std::wstring());

// Name matching as the dialog's help describes it: '*' any run, '?' one
// character, letters a-z without regard to case, the part before the last
// '.' and the part after it compared each on its own.
bool matchesPatterns(const std::wstring& name, const std::wstring& patterns);

} // namespace sorvane::e2e
