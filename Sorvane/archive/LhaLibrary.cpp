#include "archive/LhaLibrary.h"

#include "base/Strings.h"
#include "res/SorvaneRes.h"

#include <cwchar>
#include <string>

namespace sorvane {

namespace {

constexpr const wchar_t* kLibraryName = L"UnLha32.dll";
constexpr UINT kIdsNotInstalled = IDS_ARCHIVER_NOT_INSTALLED;
constexpr UINT kIdsTooOld = IDS_ARCHIVER_TOO_OLD;

std::wstring& searchFolder()
{
    static std::wstring folder;
    return folder;
}

LhaLibrary::DownloadPrompt& downloadPrompt()
{
    // None until a program with windows sets its dialog: the console
    // program asks nothing and links no window code.
    static LhaLibrary::DownloadPrompt prompt = nullptr;
    return prompt;
}

std::wstring programFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring folder(path, length);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

void copyMessage(wchar_t* message, size_t capacity, UINT id)
{
    if (!message || capacity == 0) return;
    loadString(id, message, static_cast<int>(capacity));
}

} // namespace

void LhaLibrary::setSearchFolder(const wchar_t* folder) { searchFolder() = folder ? folder : L""; }

LhaLibrary::DownloadPrompt LhaLibrary::setDownloadPrompt(DownloadPrompt prompt)
{
    DownloadPrompt previous = downloadPrompt();
    downloadPrompt() = prompt;
    return previous;
}

LhaLibrary::LhaLibrary() { load(); }

LhaLibrary::~LhaLibrary() { unload(); }

void LhaLibrary::load()
{
    // A full path from the program's folder, so that a library planted in
    // the current folder is never picked up; then the system folder only.
    const std::wstring folder = searchFolder().empty() ? programFolder() : searchFolder();
    if (!folder.empty()) module_ = ::LoadLibraryW((folder + kLibraryName).c_str());
    if (!module_) module_ = ::LoadLibraryExW(kLibraryName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void LhaLibrary::unload() noexcept
{
    if (module_) ::FreeLibrary(module_);
    module_ = nullptr;
    version_ = nullptr;
    command_ = nullptr;
}

bool LhaLibrary::Reload()
{
    unload();
    load();
    return module_ != nullptr;
}

WORD LhaLibrary::GetVersion()
{
    if (!module_) return 0;
    if (!version_) {
        version_ = reinterpret_cast<VersionFn>(reinterpret_cast<void*>(::GetProcAddress(module_, "UnlhaGetVersion")));
    }
    return version_ ? version_() : 0;
}

int LhaLibrary::Call(HWND window, const char* command, char* output, DWORD outputSize)
{
    if (!module_) return -1;
    if (!command_) command_ = reinterpret_cast<CommandFn>(reinterpret_cast<void*>(::GetProcAddress(module_, "Unlha")));
    if (!command_) return -1;
    return command_(window, command, output, outputSize);
}

bool LhaLibrary::Acquire(wchar_t* message, size_t messageCapacity)
{
    if (message && messageCapacity > 0) message[0] = L'\0';
    if (!module_) {
        if (const DownloadPrompt prompt = downloadPrompt()) prompt();
        if (!Reload()) {
            copyMessage(message, messageCapacity, kIdsNotInstalled);
            return false;
        }
    }
    if (GetVersion() < kMinimumVersion) {
        copyMessage(message, messageCapacity, kIdsTooOld);
        return false;
    }
    return true;
}

} // namespace sorvane
