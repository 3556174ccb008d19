// A delete in the user's own account that is denied one file: its "Failed"
// row, "Retry as administrator" offered at the end without a countdown,
// and pressing it starts this program with "runas" on a list of exactly
// that file, named with the list's XXH3-128. The denial is injected through
// import hooks (the tests run as root, where permissions never deny): the
// open with DELETE access of a permanent delete, the shell's delete of a
// delete to the Recycle Bin. A run without such a denial offers nothing.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/AppState.h"
#include "base/Shell.h"
#include "base/Strings.h"
#include "engine/PathForms.h"
#include "run/DlgProgress.h"
#include "run/OperationJob.h"
#include "run/RetryList.h"

#include <shellapi.h>
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cwchar>

using namespace sorvane;

namespace {

struct Start {
    std::wstring verb, file, parameters, folder;
};
std::wstring g_denied; // the file the account may not delete
std::vector<Start> g_starts;
test::ImportHook* g_openHook = nullptr;
test::ImportHook* g_shellHook = nullptr;

bool isDenied(const wchar_t* path) { return path && _wcsicmp(ordinaryFormOf(path).c_str(), g_denied.c_str()) == 0; }

HANDLE WINAPI denyingOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD flags, HANDLE model)
{
    if ((access & DELETE) && isDenied(path)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return g_openHook->original<decltype(&::CreateFileW)>()(path, access, share, security, disposition, flags, model);
}

// The shell takes every file of the list but the denied one.
int WINAPI denyingShellDelete(SHFILEOPSTRUCTW* operation)
{
    std::wstring rest;
    bool denied = false;
    for (const wchar_t* p = operation->pFrom; *p; p += std::wcslen(p) + 1) {
        if (isDenied(p)) denied = true;
        else rest.append(p).push_back(L'\0');
    }
    const auto original = g_shellHook->original<decltype(&::SHFileOperationW)>();
    if (!denied) return original(operation);
    if (!rest.empty()) {
        rest.push_back(L'\0');
        SHFILEOPSTRUCTW others = *operation;
        others.pFrom = rest.c_str();
        original(&others);
    }
    return 0x78; // DE_ACCESSDENIEDSRC
}

HINSTANCE WINAPI recordStart(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT)
{
    g_starts.push_back({verb ? verb : L"", file ? file : L"", parameters ? parameters : L"", folder ? folder : L""});
    return reinterpret_cast<HINSTANCE>(42);
}

bool recordOpen(HWND, const wchar_t*) { return true; }

class ElevatedRetry : public ::testing::Test {
protected:
    void SetUp() override
    {
        loadString(1100, app().appName, 50);
        ASSERT_TRUE(openHook.active() && shellHook.active() && startHook.active());
        g_openHook = &openHook;
        g_shellHook = &shellHook;
        g_starts.clear();
        previousOpen = setOpenDocumentHook(recordOpen);
        for (const wchar_t* name : {L"a.txt", L"sub\\b.txt", L"sub\\denied.txt", L"sub\\ro.txt"}) {
            if (std::wcschr(name, L'\\')) ::CreateDirectoryW((root / L"sub").c_str(), nullptr);
            ASSERT_TRUE(test::writeBytes(root / name, "content"));
        }
        ::SetFileAttributesW((root / L"sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    void TearDown() override
    {
        endJob();
        setOpenDocumentHook(previousOpen);
        g_denied.clear();
        ::SetFileAttributesW((root / L"sub\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    // Deletes the tree (read-only files protected) under the progress
    // dialog and pumps its messages until the dialog shows the end.
    HWND runDelete(bool recycle)
    {
        FILE_TREE_SETTING settings;
        settings.operation = kOperationDelete;
        settings.setSources(root.path().c_str());
        settings.setPatterns(L"*.*");
        settings.setDeleteToRecycleBin(recycle);
        settings.protectReadOnly = 1;
        job = std::make_unique<OperationJob>(settings, report.path() + L"\\report.htm");
        HWND dialog = StartOperation(*job, nullptr);
        pump(30000, [&] { return job->ownedDialog->phase() == CDlgProgress::kFinished; });
        return dialog;
    }
    void endJob()
    {
        if (job && job->workerThread) ::WaitForSingleObject(job->workerThread, 30000);
        job.reset();
    }
    template <typename Done>
    static void pump(DWORD ms, Done done)
    {
        for (const DWORD start = ::GetTickCount(); !done() && ::GetTickCount() - start < ms; ::Sleep(10)) {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        }
    }
    static std::wstring text(HWND dialog, int id)
    {
        wchar_t buffer[256] = {};
        ::GetDlgItemTextW(dialog, id, buffer, 256);
        return buffer;
    }

    test::TempFolder root, report;
    test::ImportHook openHook{::GetModuleHandleW(nullptr), "kernel32.dll", "CreateFileW",
                              reinterpret_cast<const void*>(&denyingOpen)};
    test::ImportHook shellHook{::GetModuleHandleW(nullptr), "shell32.dll", "SHFileOperationW",
                               reinterpret_cast<const void*>(&denyingShellDelete)};
    test::ImportHook startHook{::GetModuleHandleW(nullptr), "shell32.dll", "ShellExecuteW",
                               reinterpret_cast<const void*>(&recordStart)};
    test::MessageRecorder messages;
    std::unique_ptr<OperationJob> job;
    OpenDocumentHook previousOpen = nullptr;
};

TEST_F(ElevatedRetry, ADeniedFileIsOfferedAndHandedOverWithItsHash)
{
    for (const bool recycle : {false, true}) {
        SCOPED_TRACE(recycle ? "to the Recycle Bin" : "for good");
        g_starts.clear();
        ASSERT_TRUE(test::writeBytes(root / L"a.txt", "content"));
        g_denied = root / L"sub\\denied.txt";
        HWND dialog = runDelete(recycle);
        ASSERT_NE(dialog, nullptr);
        const std::string page = test::readBytes(report.path() + L"\\report.htm");
        const std::string shown(g_denied.begin(), g_denied.end());
        EXPECT_NE(page.find("<tr><td>" + shown + "</td><td>Failed--"), std::string::npos) << page;
        EXPECT_FALSE(test::exists(root / L"a.txt"));
        EXPECT_TRUE(test::exists(g_denied));

        HWND retry = ::GetDlgItem(dialog, 4);
        ASSERT_TRUE(::IsWindowVisible(retry)) << "offered";
        EXPECT_EQ(text(dialog, 4), L"&Retry as administrator");
        EXPECT_TRUE(::GetWindowLongW(retry, GWL_STYLE) & WS_TABSTOP);
        EXPECT_EQ(::GetFocus(), retry) << "reached from the keyboard at once";
        pump(1500, [] { return false; });
        EXPECT_EQ(text(dialog, 1), L"Completed") << "no countdown while offered";
        ASSERT_TRUE(::IsWindow(dialog));

        ::SendMessageW(retry, BM_CLICK, 0, 0);
        ASSERT_EQ(g_starts.size(), 1u);
        const Start& start = g_starts[0];
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        EXPECT_EQ(start.verb, L"runas");
        EXPECT_EQ(start.file, self);
        ASSERT_EQ(start.parameters.rfind(L"/R:", 0), 0u) << std::string(start.parameters.begin(), start.parameters.end());
        const std::wstring hash = start.parameters.substr(3, 32);
        const std::wstring file = start.parameters.substr(36);
        const std::string bytes = test::readBytes(file);
        const XXH128_hash_t expected = XXH3_128bits(bytes.data(), bytes.size());
        wchar_t expectedText[33];
        std::swprintf(expectedText, 33, L"%016llx%016llx", static_cast<unsigned long long>(expected.high64),
                      static_cast<unsigned long long>(expected.low64));
        EXPECT_EQ(hash, expectedText) << "the XXH3-128 of the list file";
        RetryList list;
        ASSERT_TRUE(decodeRetryList(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2, list));
        EXPECT_EQ(list.paths, std::vector<std::wstring>{g_denied}) << "exactly the denied file";
        EXPECT_EQ(list.recycle, recycle);
        EXPECT_TRUE(list.protectReadOnly);
        ::DeleteFileW(file.c_str());
        EXPECT_FALSE(::IsWindowVisible(retry)) << "handed over";
        pump(1500, [&] { return text(dialog, 1) != L"Completed"; });
        EXPECT_EQ(text(dialog, 1).rfind(L"Complete[", 0), 0u) << "then the dialog closes as any other";
        endJob();
    }
}

TEST_F(ElevatedRetry, FailuresOtherThanADenialOfferNothing)
{
    // A protected read-only file fails too, but no administrator changes that.
    HWND dialog = runDelete(false);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(job->failedFiles, 1u);
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dialog, 4)));
    pump(1500, [&] { return text(dialog, 1) != L"Completed"; });
    EXPECT_EQ(text(dialog, 1).rfind(L"Complete[", 0), 0u) << "the countdown runs";
    EXPECT_TRUE(g_starts.empty());
}

} // namespace
