#include "CompressModel.h"

#include "TestSupport.h"

#include <algorithm>

namespace sorvane::e2e {

namespace {

wchar_t folded(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool glob(const wchar_t* pattern, const wchar_t* text)
{
    if (*pattern == 0) return *text == 0;
    if (*pattern == L'*') {
        for (const wchar_t* t = text;; ++t) {
            if (glob(pattern + 1, t)) return true;
            if (*t == 0) return false;
        }
    }
    if (*text == 0) return false;
    if (*pattern == L'?' || folded(*pattern) == folded(*text)) return glob(pattern + 1, text + 1);
    return false;
}

void splitAtLastDot(const std::wstring& text, std::wstring& base, std::wstring& extension)
{
    const size_t dot = text.rfind(L'.');
    base = dot == std::wstring::npos ? text : text.substr(0, dot);
    extension = dot == std::wstring::npos ? std::wstring() : text.substr(dot + 1);
}

std::wstring lowered(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

bool samePath(const std::wstring& a, const std::wstring& b) { return lowered(a) == lowered(b); }

bool startsWithFolder(const std::wstring& path, const std::wstring& folder)
{
    return folder.empty() || (path.size() > folder.size() && samePath(path.substr(0, folder.size()), folder) &&
                              path[folder.size()] == L'\\');
}

std::wstring nameOf(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

} // namespace

void Tree::addFile(const std::wstring& path, const std::string& bytes)
{
    files.push_back({path, bytes});
    for (size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
        folders.insert(path.substr(0, slash));
    }
}

void Tree::addFolder(const std::wstring& path)
{
    folders.insert(path);
    for (size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
        folders.insert(path.substr(0, slash));
    }
}

const Tree::File* Tree::findFile(const std::wstring& path) const
{
    for (const File& file : files) {
        if (samePath(file.path, path)) return &file;
    }
    return nullptr;
}

bool Tree::write(const std::wstring& root) const
{
    std::vector<std::wstring> ordered(folders.begin(), folders.end());
    std::sort(ordered.begin(), ordered.end(), [](const std::wstring& a, const std::wstring& b) { return a.size() < b.size(); });
    for (const std::wstring& folder : ordered) {
        if (!::CreateDirectoryW((root + L"\\" + folder).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    for (const File& file : files) {
        if (!test::writeBytes(root + L"\\" + file.path, file.bytes)) return false;
    }
    return true;
}

bool matchesPatterns(const std::wstring& name, const std::wstring& patterns)
{
    std::wstring base, extension;
    splitAtLastDot(name, base, extension);
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(L';', start);
        if (end == std::wstring::npos) end = patterns.size();
        const std::wstring pattern = patterns.substr(start, end - start);
        if (!pattern.empty()) {
            std::wstring patternBase, patternExtension;
            splitAtLastDot(pattern, patternBase, patternExtension);
            if (glob(patternBase.c_str(), base.c_str()) && glob(patternExtension.c_str(), extension.c_str())) return true;
        }
        start = end + 1;
    }
    return false;
}

Expectation expectedMembers(const Tree& tree, const Selection& selection, const Filter& filter, const std::wstring& skip)
{
    Expectation expectation;
    const std::wstring prefix = selection.parent.empty() ? std::wstring() : selection.parent + L"\\";
    auto qualifies = [&](const Tree::File& file) {
        if (!skip.empty() && samePath(file.path, skip)) return false;
        if (filter.inTimeRange && !filter.inTimeRange(file)) return false;
        return matchesPatterns(nameOf(file.path), filter.patterns) != filter.exclude;
    };
    std::set<std::wstring> chosen;
    auto takeFolder = [&](const std::wstring& folder) {
        for (const Tree::File& file : tree.files) {
            if (!startsWithFolder(file.path, folder)) continue;
            const std::wstring rest = folder.empty() ? file.path : file.path.substr(folder.size() + 1);
            if (!filter.subfolders && rest.find(L'\\') != std::wstring::npos) continue;
            if (qualifies(file)) chosen.insert(file.path.substr(prefix.size()));
        }
    };
    if (selection.wholeFolder) {
        takeFolder(selection.parent);
    } else {
        for (const std::wstring& name : selection.names) {
            const std::wstring path = prefix + name;
            if (const Tree::File* file = tree.findFile(path)) {
                if (qualifies(*file)) chosen.insert(name);
            } else if (std::any_of(tree.folders.begin(), tree.folders.end(),
                                   [&](const std::wstring& f) { return samePath(f, path); })) {
                takeFolder(path);
            } else {
                ++expectation.missing;
            }
        }
    }
    expectation.members.assign(chosen.begin(), chosen.end());
    return expectation;
}

} // namespace sorvane::e2e
