#include "dialogs/ExtensionSearch.h"

#include <cwchar>
#include <new>

#include "engine/FileTreeSetting.h"
#include "engine/Listing.h"
#include "engine/PathForms.h"
#include "engine/PathUtil.h"

namespace sorvane {

namespace {

std::atomic<ExtensionSearch::Probe> g_probe{nullptr};

} // namespace

bool ExtensionSearch::NoCase::operator()(const std::wstring& a, const std::wstring& b) const noexcept
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_LESS_THAN;
}

ExtensionSearch::ExtensionSearch(std::wstring sources, HWND dialog, UINT updateMessage, WORD endCommand)
    : sources_(std::move(sources)), updateMessage_(updateMessage), endCommand_(endCommand), dialog_(dialog)
{
}

void ExtensionSearch::SetProbe(Probe probe) noexcept { g_probe.store(probe); }

UniqueHandle ExtensionSearch::Start(const std::shared_ptr<ExtensionSearch>& self)
{
    auto* held = new (std::nothrow) std::shared_ptr<ExtensionSearch>(self);
    if (!held) return UniqueHandle();
    UniqueHandle thread(::CreateThread(nullptr, 0, ThreadMain, held, 0, nullptr));
    if (!thread) delete held;
    return thread;
}

DWORD WINAPI ExtensionSearch::ThreadMain(void* parameter) noexcept
{
    std::unique_ptr<std::shared_ptr<ExtensionSearch>> held(static_cast<std::shared_ptr<ExtensionSearch>*>(parameter));
    ExtensionSearch& search = **held;
    try {
        search.Run();
    } catch (...) {
        // Out of memory: the search ends with what it has found.
    }
    if (Probe probe = g_probe.load()) probe(nullptr);
    search.finished_.store(true);
    search.PostEnd();
    return 0;
}

void ExtensionSearch::Release() noexcept
{
    std::lock_guard<std::mutex> guard(lock_);
    dialog_ = nullptr;
}

ExtensionSearch::Update ExtensionSearch::TakeUpdate()
{
    Update update;
    std::lock_guard<std::mutex> guard(lock_);
    update.extensions.swap(found_);
    update.frame = frame_;
    updatePosted_ = false;
    return update;
}

void ExtensionSearch::PostUpdate() noexcept
{
    std::lock_guard<std::mutex> guard(lock_);
    if (dialog_ && !updatePosted_) updatePosted_ = ::PostMessageW(dialog_, updateMessage_, 0, 0) != FALSE;
}

void ExtensionSearch::PostEnd() noexcept
{
    std::lock_guard<std::mutex> guard(lock_);
    if (dialog_) ::PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(endCommand_, BN_CLICKED), 0);
}

void ExtensionSearch::Run()
{
    const SourceListParts parts = splitSourceList(sources_);
    if (parts.oneFolder) {
        std::wstring folder = parts.folder;
        if (folder.empty()) return;
        if (folder.back() != L'\\') folder += L'\\';
        SearchFolder(longFormOf(folder));
        return;
    }

    std::wstring base = parts.folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    base = longFormOf(base);
    // "C:\;" and "C:\;;" select the drive's root folder itself.
    if (isDriveRootList(sources_.c_str())) SearchFolder(base);
    // Every item stands on its own: one that cannot be searched, or a file
    // without extension, does not keep the later ones from being searched.
    for (const std::wstring& name : parts.names) {
        if (StopRequested()) break;
        const std::wstring path = base + name;
        const int kind = pathKind(path.c_str());
        if (kind == kPathFolder) {
            SearchFolder(path + L"\\");
        } else if (kind == kPathFile) {
            Register(fileNamePart(name.c_str()));
        }
    }
}

void ExtensionSearch::SearchFolder(const std::wstring& folder)
{
    // Depth first with a stack of our own: deep trees cost heap, not stack.
    std::vector<std::wstring> pending{folder};
    wchar_t name[kListingNameCapacity];
    while (!pending.empty() && !StopRequested()) {
        std::wstring path = std::move(pending.back());
        pending.pop_back();
        if (Probe probe = g_probe.load()) probe(path.c_str());

        Listing listing;
        if (!listDirectory((path + L"*.*").c_str(), listing, FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        for (const ListingRecord* record = listing.first(); record && !StopRequested();
             record = listing.next(record)) {
            const size_t length = copyRecordName(record, name);
            if (record->kind == kListingFolder) {
                if (path.size() + length + 1 < kRunPathCapacity) pending.push_back(path + name + L"\\");
            } else {
                Register(name);
            }
        }
    }
}

void ExtensionSearch::Register(const wchar_t* fileName)
{
    if (const wchar_t* dot = std::wcsrchr(fileName, L'.')) {
        if (seen_.insert(dot).second) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                found_.emplace_back(dot);
            }
            PostUpdate();
        }
    }
    const DWORD now = ::GetTickCount();
    if (now - lastFrameTick_ >= kFrameInterval) {
        lastFrameTick_ = now;
        {
            std::lock_guard<std::mutex> guard(lock_);
            frame_ = (frame_ + 1) % kFrames;
        }
        PostUpdate();
    }
}

} // namespace sorvane
