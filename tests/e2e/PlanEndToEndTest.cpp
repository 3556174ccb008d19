// "Plan" in the real Sorvane.exe: a Filter Move of a small tree within one
// volume, the operation dialog driven from this process, "Plan" pressed
// with its access key (a real Alt+P typed into the foreground dialog) and
// by its id. Each press writes a plan page into the program's data folder
// with one row per file (renames, a source whose newer target stays, a
// read-only target kept), the dialog stays open, no run starts, and both
// trees are the same afterwards, byte for byte, with their names, sizes,
// times and attributes. Needs a display (Xvfb); it types keys, so it runs
// alone.
#include <gtest/gtest.h>

#include "Driver.h"
#include "TestSupport.h"
#include "res/SorvaneRes.h"

#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

using namespace sorvane;
using namespace sorvane::e2e;

namespace {

constexpr DWORD kWait = 30000;
constexpr int kPlan = IDC_PLAN;
constexpr int kProgressFolder = IDC_PROGRESS_FOLDER;
constexpr ULONGLONG kDay = 864000000000ULL;

bool waitFor(DWORD ms, const std::function<bool()>& done)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= ms) return false;
        ::Sleep(30);
    }
    return true;
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

void setWriteTime(const std::wstring& path, int daysAgo)
{
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= static_cast<ULONGLONG>(daysAgo) * kDay;
    const FILETIME when = {t.LowPart, t.HighPart};
    ::SetFileTime(file, nullptr, nullptr, &when);
    ::CloseHandle(file);
}

// One entry of a tree as a snapshot holds it.
struct Entry {
    DWORD attributes;
    ULONGLONG size;
    ULONGLONG created;
    ULONGLONG written;
    std::string bytes; // a file's content
    bool operator==(const Entry& other) const
    {
        return std::tie(attributes, size, created, written, bytes) ==
               std::tie(other.attributes, other.size, other.created, other.written, other.bytes);
    }
};

ULONGLONG value(const FILETIME& time) { return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

// Every file and folder under `folder`, by its path relative to it.
void snapshot(const std::wstring& folder, const std::wstring& relative, std::map<std::wstring, Entry>& entries)
{
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries[relative + name] = {data.dwFileAttributes,
                                    (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                                    value(data.ftCreationTime), value(data.ftLastWriteTime),
                                    isFolder ? std::string() : test::readBytes(path)};
        if (isFolder) snapshot(path, relative + name + L"\\", entries);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

std::map<std::wstring, Entry> snapshot(const std::wstring& folder)
{
    std::map<std::wstring, Entry> entries;
    snapshot(folder, L"", entries);
    return entries;
}

DWORD registryNumber(const wchar_t* name)
{
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Brenmoor\\Sorvane", name, RRF_RT_REG_DWORD, nullptr, &number,
                       &size) != ERROR_SUCCESS) {
        return 0;
    }
    return number;
}

// Alt and a letter, typed into the foreground window as a keyboard does.
void typeAltKey(WORD key)
{
    INPUT inputs[4] = {};
    const WORD keys[4] = {VK_MENU, key, key, VK_MENU};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.wScan = static_cast<WORD>(::MapVirtualKeyW(keys[i], MAPVK_VK_TO_VSC));
        if (i >= 2) inputs[i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    ::SendInput(4, inputs, sizeof(INPUT));
}

class PlanEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(exe)) << "build the program first";
        ::DeleteFileW((dataFolder() + L"Sorvane.ini").c_str());
        for (const std::wstring& folder : {src, src + L"\\docs", src + L"\\docs\\deep", out}) {
            ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        }
        const std::pair<std::wstring, const char*> files[] = {
            {src + L"\\a.txt", "alpha"},
            {src + L"\\docs\\b.txt", "bravo bravo"},
            {src + L"\\docs\\deep\\c.txt", "charlie charlie charlie"},
            {src + L"\\newer.txt", "older source"},
            {out + L"\\newer.txt", "newer target"},
            {src + L"\\ro.txt", "newer source"},
            {out + L"\\ro.txt", "read-only target"},
        };
        for (const auto& [path, bytes] : files) ASSERT_TRUE(test::writeBytes(path, bytes));
        setWriteTime(src + L"\\newer.txt", 3);
        setWriteTime(out + L"\\newer.txt", 1);
        setWriteTime(src + L"\\ro.txt", 1);
        setWriteTime(out + L"\\ro.txt", 3);
        ASSERT_TRUE(::SetFileAttributesW((out + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        before = snapshot(root.path());
        ASSERT_EQ(before.size(), 11u) << "four folders, seven files";
        reportNumber = registryNumber(L"LogFileNo");
    }
    void TearDown() override { ::SetFileAttributesW((out + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL); }

    std::wstring planPath(DWORD number) const
    {
        return dataFolder() + L"SorvanePlan" + std::to_wstring(number) + L".htm";
    }
    // The page once the program has written all of it.
    std::string waitForPage(const std::wstring& path) const
    {
        std::string page;
        waitFor(kWait, [&] {
            page = test::readBytes(path);
            return page.size() > 9 && page.compare(page.size() - 9, 9, "</html>\r\n") == 0;
        });
        return page;
    }

    // The page holds one row per file, each with its action.
    void expectPlannedRows(const std::string& page)
    {
        struct Expected {
            std::wstring source;
            std::wstring target;
            const char* action;
            const char* reasonStart;
            const char* size;
        } expected[] = {
            {src + L"\\a.txt", out + L"\\a.txt", "Move (rename)", "", "5"},
            {src + L"\\docs\\b.txt", out + L"\\docs\\b.txt", "Move (rename)", "", "11"},
            {src + L"\\docs\\deep\\c.txt", out + L"\\docs\\deep\\c.txt", "Move (rename)", "", "23"},
            {src + L"\\newer.txt", out + L"\\newer.txt", "Delete the source, keep the target", "", "12"},
            {src + L"\\ro.txt", out + L"\\ro.txt", "Skip", "Filed, ReadOnly", "12"},
        };
        std::map<std::string, std::vector<std::string>> rows; // item rows by source
        std::map<std::string, std::string> summary;
        for (const auto& row : test::htmlTableRows(page)) {
            if (row.size() == 5) rows[row[0]] = row;
            if (row.size() == 2) summary[row[0]] = row[1];
        }
        EXPECT_EQ(rows.size(), std::size(expected) + 1) << "a head and one row per file\n" << page;
        for (const Expected& e : expected) {
            SCOPED_TRACE(narrow(e.source));
            const auto row = rows.find(narrow(e.source));
            ASSERT_NE(row, rows.end()) << page;
            EXPECT_EQ(row->second[1], narrow(e.target));
            EXPECT_EQ(row->second[2], e.action);
            EXPECT_EQ(row->second[3].rfind(e.reasonStart, 0), 0u) << row->second[3];
            EXPECT_EQ(row->second[4], e.size);
        }
        EXPECT_EQ(summary["Move (rename)"], "3");
        EXPECT_EQ(summary["Delete the source, keep the target"], "1");
        EXPECT_EQ(summary["Skip"], "1");
        EXPECT_EQ(summary["Bytes to copy"], "0") << "renames copy nothing";
        EXPECT_EQ(summary["Files to delete (sources that go)"], "4");
        EXPECT_EQ(summary["Planned items"], "5");
        EXPECT_EQ(summary["Move From"].rfind(narrow(src), 0), 0u) << "the run's settings table";
    }

    // The dialog is still there, no run began, and nothing changed.
    void expectNothingChanged(HWND dialog)
    {
        EXPECT_TRUE(::IsWindow(dialog) && ::IsWindowVisible(dialog)) << "the dialog stays open";
        EXPECT_EQ(waitForDialog(process.id(), kProgressFolder, 300), nullptr) << "a run was started";
        EXPECT_TRUE(snapshot(root.path()) == before) << "the trees changed";
        EXPECT_EQ(registryNumber(L"LogFileNo"), reportNumber) << "a plan takes no report number";
    }

    std::wstring exe = test::distFolder() + L"Sorvane.exe";
    test::TempFolder root;
    std::wstring src = root / L"src";
    std::wstring out = root / L"out";
    test::ChildProcess process;
    std::map<std::wstring, Entry> before;
    DWORD reportNumber = 0;
};

TEST_F(PlanEndToEnd, MoveWithinOneVolumePlannedByAccessKeyAndByButtonChangesNothing)
{
    ASSERT_TRUE(process.start(exe, L"/M:" + src));
    HWND dialog = waitForDialog(process.id(), kPlan, kWait);
    ASSERT_NE(dialog, nullptr) << "the Filter Move dialog, with \"Plan\", did not open";
    setControlText(dialog, kTarget, out);
    setControlText(dialog, kPatterns, L"*.*");
    click(dialog, kOverwriteFirst + 1); // if the source is newer
    setChecked(dialog, kProtectReadOnly, true);

    // Alt+P, typed.
    // The ring reuses names: a page left by an earlier run must not pass
    // for this one's.
    const DWORD first = registryNumber(L"PlanFileNo");
    for (DWORD number : {first, (first + 1) % 16}) ::DeleteFileW(planPath(number).c_str());
    ::SetForegroundWindow(dialog);
    ASSERT_TRUE(waitFor(5000, [&] { return ::GetForegroundWindow() == dialog; }));
    typeAltKey('P');
    const std::string typed = waitForPage(planPath(first));
    ASSERT_FALSE(typed.empty()) << "Alt+P wrote no plan page";
    expectPlannedRows(typed);
    expectNothingChanged(dialog);

    // The button, pressed by its id: the next page of the ring.
    press(dialog, kPlan);
    const std::string pressed = waitForPage(planPath((first + 1) % 16));
    ASSERT_FALSE(pressed.empty()) << "\"Plan\" wrote no plan page";
    expectPlannedRows(pressed);
    expectNothingChanged(dialog);

    press(dialog, kCancel);
    EXPECT_EQ(process.wait(kWait), 0u);
    EXPECT_TRUE(snapshot(root.path()) == before) << "the trees changed";
}

TEST_F(PlanEndToEnd, DeleteHasNoPlanButton)
{
    ASSERT_TRUE(process.start(exe, L"/D:" + src + L"\\;a.txt;"));
    HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(::GetDlgItem(dialog, kPlan), nullptr) << "a delete keeps \"Test only\" instead";
    press(dialog, kCancel);
    EXPECT_EQ(process.wait(kWait), 0u);
    EXPECT_TRUE(snapshot(root.path()) == before);
}

} // namespace
