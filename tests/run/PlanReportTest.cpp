// The plan page: a table of planned items (every action, a refusal, a
// system error, a long name, a name holding "&", "<" and ">", a lone
// surrogate) written and read back as a browser would: the summary's counts
// and bytes, one row per item with its action and reason, escaped names,
// the settings table; and the page's own ring of numbers in the registry.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/FileTreeSetting.h"
#include "res/SorvaneRes.h"
#include "run/PlanReport.h"

#include <array>
#include <map>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

using Cells = std::vector<std::string>;

std::string utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

FileDecision decision(FileAction action, ItemReason reason = kReasonNone, ItemStatus status = kStatusFailed,
                      DWORD error = 0, bool replaces = false)
{
    FileDecision d;
    d.action = action;
    d.reason = reason;
    d.status = status;
    d.error = error;
    d.replaces = replaces;
    return d;
}

const std::wstring kLongFolder = L"C:\\Data\\" + std::wstring(240, L'n') + L"\\" + std::wstring(200, L'm');

struct Item {
    std::wstring source;
    std::wstring target;
    FileDecision decision;
    uint64_t size;
    // What the row shows: source and target without "\\?\", the action's
    // text and the start of the reason's cell.
    std::string shownSource;
    std::string shownTarget;
    std::string action;
    std::string reasonStart;
};

std::vector<Item> items()
{
    const std::wstring lone(1, static_cast<wchar_t>(0xDC80));
    return {
        {L"C:\\Data\\a.txt", L"D:\\Out\\a.txt", decision(FileAction::Copy), 100, "C:\\Data\\a.txt", "D:\\Out\\a.txt",
         "Copy", ""},
        {L"C:\\Data\\R&D <1>.txt", L"D:\\Out\\R&D <1>.txt", decision(FileAction::Replace), 20,
         "C:\\Data\\R&D <1>.txt", "D:\\Out\\R&D <1>.txt", "Copy over the target", ""},
        {L"C:\\Data\\c.txt", L"D:\\Out\\c.txt", decision(FileAction::KeepTarget), 7, "C:\\Data\\c.txt",
         "D:\\Out\\c.txt", "Keep the target", ""},
        {L"C:\\Data\\d.txt", L"C:\\Out\\d.txt", decision(FileAction::MoveRename), 3000, "C:\\Data\\d.txt",
         "C:\\Out\\d.txt", "Move (rename)", ""},
        {L"C:\\Data\\e.txt", L"C:\\Out\\e.txt", decision(FileAction::MoveRename, kReasonNone, kStatusFailed, 0, true),
         5, "C:\\Data\\e.txt", "C:\\Out\\e.txt", "Move (rename), replacing the target", ""},
        {L"\\\\?\\" + kLongFolder + L"\\f.bin", L"\\\\?\\E:\\Out\\f.bin", decision(FileAction::MoveCopy), 1 << 20,
         utf8(kLongFolder) + "\\f.bin", "E:\\Out\\f.bin", "Move (copy, then delete the source)", ""},
        {L"C:\\Data\\g.txt", L"C:\\Out\\g.txt", decision(FileAction::DropSource), 9, "C:\\Data\\g.txt",
         "C:\\Out\\g.txt", "Delete the source, keep the target", ""},
        {L"C:\\Data\\h" + lone + L".txt", L"", decision(FileAction::Delete), 11, "C:\\Data\\h\xEF\xBF\xBD.txt", "",
         "Delete", ""},
        {L"C:\\Data\\i.txt", L"", decision(FileAction::Recycle), 13, "C:\\Data\\i.txt", "", "Send to the Recycle Bin",
         ""},
        {L"C:\\Data\\j.txt", L"", decision(FileAction::Archive), 17, "C:\\Data\\j.txt", "", "Add to the archive", ""},
        {L"C:\\Data\\k.txt", L"C:\\Out\\k.txt", decision(FileAction::Skip, kReasonNone, kStatusReadOnly), 19,
         "C:\\Data\\k.txt", "C:\\Out\\k.txt", "Skip", "Filed, ReadOnly"},
        {L"C:\\Data\\link", L"", decision(FileAction::Skip, kReasonLinkSkipped, kStatusSkipped), 0, "C:\\Data\\link",
         "", "Skip", "Skipped--A junction"},
        {L"C:\\Data", L"", decision(FileAction::Fail, kRefusalTargetInsideSelection), 0, "C:\\Data", "", "Fail",
         "Failed--The target folder lies inside a selected folder."},
        {L"C:\\Data\\long.txt", L"C:\\Out\\long.txt",
         decision(FileAction::Fail, kReasonNone, kStatusFailed, ERROR_FILENAME_EXCED_RANGE), 23, "C:\\Data\\long.txt",
         "C:\\Out\\long.txt", "Fail", "Failed--"},
    };
}

class PlanPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        job.operation = kOperationMove;
        job.setSources(L"C:\\Data\\;a.txt;R&D <1>.txt;");
        job.setTarget(L"C:\\Out\\");
        job.setPatterns(L"*.txt;<b>");
    }
    std::string write(const CPlanReport& plan)
    {
        EXPECT_TRUE(plan.Write(path.c_str(), job));
        return test::readBytes(path);
    }

    test::TempFolder folder;
    std::wstring path = folder / L"plan.htm";
    FILE_TREE_SETTING job;
};

TEST_F(PlanPage, SummaryCountsBytesAndOneRowPerItem)
{
    const std::vector<Item> table = items();
    CPlanReport plan;
    for (const Item& item : table) {
        plan.Planned(item.source.c_str(), item.target.empty() ? nullptr : item.target.c_str(), item.decision,
                     item.size);
    }
    const std::string page = write(plan);
    ASSERT_EQ(page.rfind("<!DOCTYPE html>\r\n", 0), 0u) << "a standards-mode page, as the run's report";
    EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(page.find("<title>Sorvane Plan</title>"), std::string::npos);
    EXPECT_EQ(page.find("R&D"), std::string::npos) << "names are escaped";
    EXPECT_EQ(page.find("<1>"), std::string::npos);
    EXPECT_EQ(page.find("\\\\?\\"), std::string::npos) << "paths are shown without the long-path prefix";
    EXPECT_NE(page.find("R&amp;D &lt;1&gt;.txt"), std::string::npos);
    EXPECT_TRUE(::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, page.data(), static_cast<int>(page.size()),
                                      nullptr, 0) > 0)
        << "the page is valid UTF-8, the lone surrogate too";

    std::map<std::string, std::string> labels; // the two-cell rows: settings and summary
    std::vector<Cells> itemRows;
    for (const Cells& row : test::htmlTableRows(page)) {
        if (row.size() == 2) labels[row[0]] = row[1];
        if (row.size() == 5) itemRows.push_back(row);
    }
    EXPECT_EQ(labels["Move From"], "C:\\Data\\; a.txt; R&D <1>.txt; ") << "the run's settings table";
    EXPECT_EQ(labels["Name | Types"], "*.txt; <b>");

    // Files per action: every action that occurs, each once here.
    const char* actionTexts[] = {"Copy", "Copy over the target", "Keep the target", "Move (rename)",
                                 "Move (copy, then delete the source)", "Delete the source, keep the target",
                                 "Delete", "Send to the Recycle Bin", "Add to the archive", "Skip", "Fail"};
    const std::map<std::string, std::string> counts = {{"Move (rename)", "2"}, {"Skip", "2"}, {"Fail", "2"}};
    for (const char* text : actionTexts) {
        SCOPED_TRACE(text);
        const auto expected = counts.find(text);
        EXPECT_EQ(labels[text], expected != counts.end() ? expected->second : "1");
    }
    EXPECT_EQ(labels["Bytes to copy"], std::to_string(100 + 20 + (1 << 20))) << "Copy, Replace, MoveCopy";
    EXPECT_EQ(labels["Files to delete (sources that go)"], "6") << "two renames, a move by copy, a dropped source, "
                                                                    "a delete and a recycle";
    EXPECT_EQ(labels["Planned items"], std::to_string(table.size()));

    ASSERT_EQ(itemRows.size(), table.size() + 1) << "a head and one row per item";
    EXPECT_EQ(itemRows[0], (Cells{"Source", "Target", "Action", "Reason", "Size (bytes)"}));
    for (size_t i = 0; i < table.size(); ++i) {
        const Item& item = table[i];
        const Cells& row = itemRows[i + 1];
        SCOPED_TRACE(item.action);
        EXPECT_EQ(row[0], item.shownSource);
        EXPECT_EQ(row[1], item.shownTarget);
        EXPECT_EQ(row[2], item.action);
        EXPECT_EQ(row[3].rfind(item.reasonStart, 0), 0u) << row[3];
        EXPECT_EQ(item.reasonStart.empty(), row[3].empty()) << "a reason only for what is left alone or refused";
        EXPECT_EQ(row[4], std::to_string(item.size));
    }
    // The system's message follows a failure with an error.
    EXPECT_GT(itemRows.back()[3].size(), std::string("Failed--").size());
    // A refused run stands out, as in the run's report.
    EXPECT_NE(page.find("<font color=\"#FF0000\">C:\\Data</font>"), std::string::npos);
}

TEST_F(PlanPage, SummaryAddsUpWhatTheRunWouldDo)
{
    struct Case {
        std::vector<std::pair<FileAction, uint64_t>> planned;
        uint64_t bytes;
        uint64_t gone;
    } cases[] = {
        {{}, 0, 0},
        {{{FileAction::KeepTarget, 5}, {FileAction::Skip, 7}, {FileAction::Fail, 9}}, 0, 0},
        {{{FileAction::MoveRename, 5}, {FileAction::MoveRename, 6}}, 0, 2},
        {{{FileAction::MoveCopy, 5}, {FileAction::Replace, 6}, {FileAction::DropSource, 7}}, 11, 2},
        {{{FileAction::Copy, 1ULL << 40}, {FileAction::Copy, 1}}, (1ULL << 40) + 1, 0},
        {{{FileAction::Recycle, 3}, {FileAction::Delete, 4}, {FileAction::Archive, 8}}, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        CPlanReport plan;
        std::array<uint64_t, static_cast<size_t>(FileAction::Count)> expected{};
        for (const auto& [action, size] : c.planned) {
            plan.Planned(L"C:\\s", L"C:\\t", decision(action), size);
            ++expected[static_cast<size_t>(action)];
        }
        const PlanSummary summary = plan.summary();
        EXPECT_EQ(summary.files, expected);
        EXPECT_EQ(summary.bytesToCopy, c.bytes);
        EXPECT_EQ(summary.filesToDelete, c.gone);
        EXPECT_EQ(summary.items, c.planned.size());
        const std::string page = write(plan);
        EXPECT_EQ(page.find("No file qualifies") != std::string::npos, c.planned.empty());
        const std::string end = "</body>\r\n</html>\r\n";
        EXPECT_EQ(page.rfind(end) + end.size(), page.size()) << "the page is complete";
    }
}

TEST(PlanPath, RingOfSixteenOfItsOwn)
{
    const wchar_t* key = L"SOFTWARE\\Brenmoor\\Sorvane";
    auto read = [&](const wchar_t* name) {
        DWORD value = 0xDEAD, size = 4;
        ::RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    };
    auto set = [&](DWORD value) {
        HKEY k;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr), 0);
        ::RegSetValueExW(k, L"PlanFileNo", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        ::RegCloseKey(k);
    };
    const DWORD saved = read(L"PlanFileNo");
    const DWORD reports = read(L"LogFileNo");
    set(14);
    EXPECT_EQ(choosePlanPath(L"C:\\data\\"), L"C:\\data\\SorvanePlan14.htm");
    EXPECT_EQ(choosePlanPath(L"C:\\data\\"), L"C:\\data\\SorvanePlan15.htm");
    EXPECT_EQ(choosePlanPath(L"C:\\data\\"), L"C:\\data\\SorvanePlan0.htm");
    EXPECT_EQ(read(L"LogFileNo"), reports) << "a plan takes no number of the run's reports";
    set(saved == 0xDEAD ? 0 : saved);
}

} // namespace
