// A copy onto a network share: the free space is asked of the share's root,
// and too little of it stops the run with the shortage message. The share
// is a Linux folder reached as \\<server>\share through the prefix's
// dosdevices/unc; the system's answer is made small by an import hook.
#include <gtest/gtest.h>

#include "EngineFakes.h"
#include "TestSupport.h"
#include "base/AppState.h"
#include "base/Strings.h"
#include "run/OperationJob.h"

using namespace sorvane;

namespace {

test::ImportHook* g_freeSpaceHook = nullptr;
std::vector<std::wstring> g_asked;
BOOL g_answered = FALSE;

BOOL WINAPI smallFreeSpace(LPCWSTR path, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free)
{
    g_asked.push_back(path ? path : L"");
    g_answered = g_freeSpaceHook->original<decltype(&::GetDiskFreeSpaceExW)>()(path, available, total, free);
    if (g_answered && free) free->QuadPart = 1000; // the system's answer, made too small
    return g_answered;
}

TEST(UncFreeSpace, ACopyOntoAShareWithTooLittleRoomShowsTheShortage)
{
    loadString(1100, app().appName, 50);
    test::TempFolder source;
    ASSERT_TRUE(test::writeBytes(source / L"big.bin", std::string(64 * 1024, 'x')));
    test::TempFolder shareFolder;
    test::MappedShare share(test::unixPathOf(shareFolder.path()));
    ASSERT_TRUE(share.ready()) << "could not map a share through dosdevices/unc";

    test::ImportHook hook(::GetModuleHandleW(nullptr), "kernel32.dll", "GetDiskFreeSpaceExW",
                          reinterpret_cast<const void*>(&smallFreeSpace));
    ASSERT_TRUE(hook.active());
    g_freeSpaceHook = &hook;
    test::MessageRecorder messages;

    FILE_TREE_SETTING settings;
    settings.operation = kOperationCopy;
    settings.setSources((source.path() + L"\\;big.bin;").c_str());
    settings.setTarget((share.root() + L"\\out").c_str());
    settings.setPatterns(L"*.*");
    OperationJob job(settings, source / L"report.htm");
    RunOperation(job);

    ASSERT_EQ(g_asked.size(), 1u);
    EXPECT_EQ(g_asked[0], share.root() + L"\\") << "the share is asked at its root";
    EXPECT_TRUE(g_answered) << "the system answers for the share's root";
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text.rfind(L"Disk space is not enough [insufficient ", 0), 0u)
        << "the shortage is shown";
    EXPECT_FALSE(test::exists(shareFolder / L"out\\big.bin")) << "declined: nothing copied";
    EXPECT_TRUE(job.cancel);
}

} // namespace
