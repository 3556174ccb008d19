// The real Sorvane.exe started as the run as administrator is ("/R:<hash>:
// <list>"; Wine has no elevation, the start is the same): exactly the listed
// files go, with the list's settings and no filter; a list with one byte
// changed is refused with the message and nothing is deleted.
#include <gtest/gtest.h>

#include "Driver.h"
#include "TestSupport.h"
#include "run/RetryList.h"

#include <string>

using namespace sorvane;
using namespace sorvane::e2e;

namespace {

constexpr DWORD kWait = 30000;

class RetryEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(exe)) << "build the program first";
        ASSERT_TRUE(::CreateDirectoryW((root / L"sub").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((root / L"now-a-folder").c_str(), nullptr));
        for (const wchar_t* name : {L"keep.txt", L"one.bin", L"sub\\two.txt", L"sub\\ro.txt", L"now-a-folder\\in.txt"})
            ASSERT_TRUE(test::writeBytes(root / name, "content"));
        ::SetFileAttributesW((root / L"sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        list.paths = {root / L"one.bin", root / L"sub\\two.txt", root / L"sub\\ro.txt", root / L"now-a-folder",
                      root / L"gone.txt"};
        list.recycle = false;
        list.protectReadOnly = true;
    }
    void TearDown() override { ::SetFileAttributesW((root / L"sub\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL); }

    std::wstring exe = test::distFolder() + L"Sorvane.exe";
    test::TempFolder root;
    RetryList list;
    test::ChildProcess process;
};

TEST_F(RetryEndToEnd, AChangedListIsRefusedAndTheListedFilesOfAnIntactOneGo)
{
    std::wstring file;
    std::wstring parameter = writeRetryList(list, test::distFolder().c_str(), file);
    ASSERT_FALSE(parameter.empty());
    std::string bytes = test::readBytes(file);
    bytes[bytes.size() / 2] ^= 0x01; // one byte of one path
    ASSERT_TRUE(test::writeBytes(file, bytes));
    ASSERT_TRUE(process.start(exe, parameter));
    HWND box = waitForMessageBox(process.id(), kWait);
    ASSERT_NE(box, nullptr) << "the refusal is shown";
    EXPECT_EQ(messageBoxText(box), L"The list of files to delete as administrator is not the one Sorvane handed "
                                   L"over (its check value differs), so nothing was deleted:\n" + file);
    press(box, IDOK);
    EXPECT_EQ(process.wait(kWait), static_cast<DWORD>(-1));
    EXPECT_TRUE(test::exists(root / L"one.bin") && test::exists(root / L"sub\\two.txt")) << "nothing deleted";
    EXPECT_FALSE(test::exists(file)) << "the program's own hand-off file is removed after reading";

    parameter = writeRetryList(list, test::distFolder().c_str(), file);
    const std::wstring reportPath = dataFolder() + L"SorvaneLog" + std::to_wstring(nextReportNumber()) + L".htm";
    test::ChildProcess run;
    ASSERT_TRUE(run.start(exe, parameter));
    EXPECT_EQ(waitForDialog(run.id(), kPatterns, 2000), nullptr) << "no operation dialog, no filter";
    ASSERT_TRUE(finishProgressDialog(run.id(), kWait));
    EXPECT_EQ(run.wait(kWait), 0u);
    EXPECT_EQ(test::listFolder(root.path()), (std::vector<std::wstring>{L"keep.txt", L"now-a-folder", L"sub"}));
    EXPECT_EQ(test::listFolder(root / L"sub"), std::vector<std::wstring>{L"ro.txt"}) << "protected as the list says";
    EXPECT_TRUE(test::exists(root / L"now-a-folder\\in.txt")) << "nothing in a folder is touched";
    const std::string page = test::readBytes(reportPath);
    // The row of a listed path, from its path to the row's end.
    const auto row = [&](const wchar_t* name) {
        const std::wstring path = root / name;
        const size_t at = page.find(std::string(path.begin(), path.end()) + "</");
        return at == std::string::npos ? std::string() : page.substr(at, page.find("</tr>", at) - at);
    };
    EXPECT_NE(row(L"one.bin").find("Success"), std::string::npos) << page;
    EXPECT_NE(row(L"sub\\two.txt").find("Success"), std::string::npos);
    EXPECT_NE(row(L"sub\\ro.txt").find("Filed, ReadOnly"), std::string::npos);
    EXPECT_NE(row(L"now-a-folder").find("Failed--This is a folder now"), std::string::npos);
    EXPECT_NE(row(L"gone.txt").find("Not Exist"), std::string::npos);
}

} // namespace
