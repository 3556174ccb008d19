#include "engine/OverlapGuard.h"

#include "common/Raii.h"
#include "engine/FileIdentity.h"
#include "engine/FileTreeSetting.h"
#include "engine/PathForms.h"
#include "engine/SelectedItem.h"
#include "engine/TargetPath.h"

#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace sorvane {

namespace {

// One place with what can be known of it.
struct Place {
    std::wstring path;      // comparable form
    FileIdentity identity;  // known when it could be opened
};

// `opened`: the spelling by which the walk will reach the place (its
// identity is read there); by default the comparable path's long form.
bool describe(const std::wstring& path, Place& place, const std::wstring& opened = std::wstring())
{
    if (!comparablePath(path.c_str(), place.path)) return false;
    readIdentity(opened.empty() ? longFormOf(place.path).c_str() : opened.c_str(), place.identity);
    return true;
}

// The same place: the same identity (or the same index where a volume gave
// no serial), or (in doubt) the same full path.
bool same(const Place& a, const Place& b)
{
    return mayBeSameIdentity(a.identity, b.identity) || samePathText(a.path, b.path);
}

// The folder above a comparable path ("C:\a" -> "C:\", "\\srv\share\a" ->
// "\\srv\share"); empty for a root.
std::wstring parentFolder(const std::wstring& path)
{
    const PathForm form = pathFormOf(path.c_str());
    const size_t root = form == PathForm::Drive || form == PathForm::Share ? rootLength(path.c_str()) : 0;
    if (root == 0 || path.size() <= root) return {};
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos || slash < root - 1) return {};
    return path.substr(0, slash < root ? root : slash);
}

// The last name of a comparable path ("C:\a\b" -> "b").
std::wstring lastName(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool equalNames(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() &&
           ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
}

std::wstring joined(const std::wstring& folder, const std::wstring& name)
{
    return folder + (!folder.empty() && folder.back() == L'\\' ? L"" : L"\\") + name;
}

// The entry of `folder` named `name` (any case, as the folder finds it)
// that a walk of the folder would copy: not a link. Its name as the folder
// spells it, or empty.
std::wstring copiedEntryNamed(const std::wstring& folder, const std::wstring& name)
{
    WIN32_FIND_DATAW found;
    UniqueFind find(::FindFirstFileW(longFormOf(joined(folder, name)).c_str(), &found));
    if (!find || isLink(foundKind(found))) return {};
    return found.cFileName;
}

// The refusal of one item whose own target would land on the selection.
ItemReason landsOnSelection(const std::wstring& holder, const std::wstring& name, const std::wstring& target,
                      OverlapDetail* detail)
{
    if (detail) {
        detail->item = joined(holder, name);
        detail->landing = joined(target, name);
    }
    return kRefusalLandsOnSelection;
}

// Each selected item X has its own target T\X. T\X is the holder of the
// selection, or a folder above it, exactly when T is the folder above
// that one and X bears its name; T\X is a selected item (or the holder, or
// above it) under another name when it already exists as such. `names`
// are the selected items' names; in the one-folder form (`names` empty)
// the items are the holder's entries, of which only the one named like
// that folder can land there.
ItemReason checkOwnTargets(const std::vector<std::wstring>& names, bool oneFolder, const Place& holder,
                     const std::vector<Place>& items, const Place& target, OverlapDetail* detail)
{
    std::vector<Place> chain;
    chain.push_back(holder);
    for (std::wstring path = parentFolder(holder.path); !path.empty(); path = parentFolder(path)) {
        Place parent;
        parent.path = path;
        readIdentity(longFormOf(path).c_str(), parent.identity);
        chain.push_back(parent);
    }
    for (size_t k = 0; k + 1 < chain.size(); ++k) {
        if (!same(chain[k + 1], target)) continue;
        const std::wstring danger = lastName(chain[k].path);
        if (oneFolder) {
            const std::wstring entry = copiedEntryNamed(holder.path, danger);
            if (!entry.empty()) return landsOnSelection(holder.path, entry, target.path, detail);
        } else {
            for (const std::wstring& name : names) {
                if (equalNames(name, danger)) return landsOnSelection(holder.path, name, target.path, detail);
            }
        }
    }
    if (oneFolder) return kReasonNone;
    // A file of the target that is a selected file under another name (a
    // hard link) is refused file by file, by identity, when the run gets
    // there; a folder of the target that is the selection under another
    // name would take the whole item.
    for (const std::wstring& name : names) {
        Place own;
        const std::wstring ownPath = joined(target.path, name);
        const DWORD attributes = ::GetFileAttributesW(longFormOf(ownPath).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (!describe(ownPath, own) || !own.identity.known) continue;
        bool aliased = false;
        for (const Place& item : items) aliased = aliased || mayBeSameIdentity(own.identity, item.identity);
        for (const Place& folder : chain) aliased = aliased || mayBeSameIdentity(own.identity, folder.identity);
        if (aliased) return landsOnSelection(holder.path, name, target.path, detail);
    }
    return kReasonNone;
}

} // namespace

ItemReason checkOverlap(const wchar_t* sourceList, const wchar_t* target, OverlapDetail* detail)
{
    if (!sourceList || !*sourceList) return kReasonNone; // nothing selected, nothing to overlap
    if (!target || !*target) return kRefusalTargetInvalid;

    // The target and every folder above it, nearest first. A part that does
    // not exist yet has no identity; its path still compares.
    Place targetPlace;
    if (!describe(target, targetPlace)) return kRefusalUndecidable;
    std::vector<Place> chain;
    chain.push_back(targetPlace);
    for (std::wstring path = parentFolder(targetPlace.path); !path.empty(); path = parentFolder(path)) {
        Place parent;
        parent.path = path;
        readIdentity(longFormOf(path).c_str(), parent.identity);
        chain.push_back(parent);
    }

    const std::wstring list = sourceList;
    const SourceListParts parts = splitSourceList(list);
    const bool oneFolder = parts.oneFolder;
    const bool driveRoot = isDriveRootList(list.c_str());
    std::vector<std::wstring> items;
    // The drive's root, as the walk takes it ("C:" is never the drive's
    // current folder here).
    std::wstring holder = parts.folder;
    if (holder.size() == 2 && holder[1] == L':') holder += L'\\';
    if (oneFolder || driveRoot) {
        // One folder: its content is the selection; the folder holds it.
        items.push_back(holder);
    } else {
        for (const std::wstring& name : parts.names) {
            // Elements that name no item of the folder are refused by the walk.
            if (isItemName(name.c_str(), name.size())) {
                items.push_back(holder + (holder.empty() || holder.back() == L'\\' ? L"" : L"\\") + name);
            }
        }
    }

    std::vector<Place> itemPlaces;
    std::vector<std::wstring> names;
    for (const std::wstring& item : items) {
        std::wstring probe = longFormOf(ordinaryFormOf(item));
        while (probe.size() > 7 && probe.back() == L'\\') probe.pop_back();
        const SelectedKind kind = readSelectedItemKind(probe.c_str());
        // What is missing fails as such; a link is never entered.
        if (kind == SelectedKind::Missing || kind == SelectedKind::FileLink || kind == SelectedKind::FolderLink) {
            continue;
        }
        Place place;
        if (!describe(item, place, probe)) return kRefusalUndecidable;
        for (size_t k = 0; k < chain.size(); ++k) {
            if (same(place, chain[k])) return k == 0 ? kRefusalTargetIsSelected : kRefusalTargetInsideSelection;
        }
        itemPlaces.push_back(place);
        if (!oneFolder && !driveRoot) names.push_back(lastName(place.path));
    }

    if (holder.empty()) return kReasonNone;
    Place holderPlace;
    if (!describe(holder, holderPlace)) return kRefusalUndecidable;
    // The one folder of a list without ';' is itself the selection.
    if (same(holderPlace, chain[0])) return oneFolder ? kRefusalTargetIsSelected : kRefusalTargetIsSourceFolder;
    // A drive's root has no folder above it to land on.
    if (driveRoot) return kReasonNone;
    return checkOwnTargets(names, oneFolder, holderPlace, itemPlaces, chain[0], detail);
}

ItemReason prepareRunTarget(FILE_TREE_SETTING& settings, bool requireReachable, OverlapDetail* detail)
{
    const uint32_t kind = settings.kind();
    if (kind != kOperationCopy && kind != kOperationMove) return kReasonNone;
    if (!settings.sources || !settings.target) return kRefusalTargetInvalid;

    std::unique_ptr<wchar_t[]> folder(new (std::nothrow) wchar_t[kRunPathCapacity]);
    std::unique_ptr<wchar_t[]> normalised(new (std::nothrow) wchar_t[kRunPathCapacity]);
    if (!folder || !normalised) return kRefusalUndecidable;
    sourceListFolder(settings.sources, folder.get(), kRunPathCapacity);
    const ItemReason refusal =
        normaliseTarget(settings.target, folder.get(), normalised.get(), kRunPathCapacity, requireReachable);
    if (refusal != kReasonNone) return refusal;
    const ItemReason overlap = checkOverlap(settings.sources, normalised.get(), detail);
    if (overlap != kReasonNone) return overlap;
    settings.setTarget(normalised.get());
    return kReasonNone;
}

} // namespace sorvane
