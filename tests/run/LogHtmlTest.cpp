// The report page byte for byte, the settings table for each operation,
// the report number ring in the registry, and the log file underneath.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/AppState.h"
#include "engine/FileTreeSetting.h"
#include "run/LogHtml.h"

using namespace sorvane;

namespace {

class ReportFile : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::wstring path = folder / L"report.htm";
    std::string read() const { return test::readBytes(path); }
};

TEST_F(ReportFile, HeadTablesRowsParagraphsFooter)
{
    {
        CLogHtml report;
        ASSERT_TRUE(report.Open(path.c_str()));
        report.WriteHead(L"Sorvane", L"Sorvane Log File");
        report.BeginTable();
        const wchar_t* plain[] = {L"a & b", L"c"};
        report.WriteRow(plain, 2, kColourNone);
        const wchar_t* coloured[] = {L"x", L"y"};
        report.WriteRow(coloured, 2, kColourOrange);
        report.WriteRow(nullptr, 0, kColourNone);
        report.EndTable();
        report.WriteParagraph(1179, kColourRed);
        report.WriteParagraph(1179, kColourNone);
        report.WriteFooter();
    }
    const std::string expected =
        "<html>\r\n<head>\r\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
        "<meta name=\"GENERATOR\" content=\"Sorvane\">\r\n"
        "<title>Sorvane Log File</title>\r\n"
        "</head>\r\n<body>\r\n"
        "<div align=\"left\">\r\n<table border=\"1\">\r\n"
        "<tr><td>a & b</td><td>c</td></tr>\r\n"
        "<tr><td><font color=\"#FF8000\">x</font></td>\r\n<td><font color=\"#FF8000\">y</font></td>\r\n</tr>\r\n"
        "<tr></tr>\r\n"
        "</table>\r\n</div>\r\n"
        "<p><font color=\"#FF0000\">Action has been canceled.</font></p>\r\n"
        "<p>Action has been canceled.</p>\r\n"
        "</body>\r\n</html>\r\n";
    EXPECT_EQ(read(), expected);
}

TEST_F(ReportFile, ItemAndErrorRows)
{
    {
        CLogHtml report;
        ASSERT_TRUE(report.Open(path.c_str()));
        ILogSink& log = report;
        log.WriteItemRow(L"C:\\a\\b.txt", kStatusSuccess, kColourNone);
        log.WriteItemRow(L"C:\\gone", kStatusNotExist, kColourRed);
        log.WriteErrorRow(L"C:\\ro.txt", kStatusFailed, ERROR_ACCESS_DENIED, kColourNone);
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        log.WriteErrorRow(L"C:\\x", kStatusFolderFailed, 0, kColourOrange);
        log.WriteErrorRow(L"C:\\y", kStatusFailed, 0x2000FFFF, kColourNone); // no system text
    }
    const std::string text = read();
    EXPECT_NE(text.find("<tr><td>C:\\a\\b.txt</td><td>Success</td></tr>\r\n"), std::string::npos);
    EXPECT_NE(text.find("<tr><td><font color=\"#FF0000\">C:\\gone</font></td>\r\n"
                        "<td><font color=\"#FF0000\">Not Exist</font></td>\r\n</tr>\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("<tr><td>C:\\ro.txt</td><td>Failed--Access denied.\r\n</td></tr>\r\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("<td><font color=\"#FF8000\">Failed(Folder)--File not found.\r\n</font></td>"),
              std::string::npos)
        << "error 0 takes the thread's last error";
    EXPECT_NE(text.find("<tr><td>C:\\y</td><td>Failed--</td></tr>\r\n"), std::string::npos);
}

TEST_F(ReportFile, TextGoesThroughTheAnsiCodePage)
{
    {
        CLogHtml report;
        ASSERT_TRUE(report.Open(path.c_str()));
        report.WriteItemRow(L"caf\u00e9\u3042.txt", kStatusSuccess, kColourNone);
    }
    // 1252 holds "é" (0xE9) but not "あ", which becomes the default '?'.
    EXPECT_EQ(read(), "<tr><td>caf\xE9?.txt</td><td>Success</td></tr>\r\n");
}

std::string settingsTableOf(const FILE_TREE_SETTING& settings, const std::wstring& path)
{
    {
        CLogHtml report;
        EXPECT_TRUE(report.Open(path.c_str()));
        report.WriteSettingsTable(settings);
    }
    return test::readBytes(path);
}

std::string row(const std::string& a, const std::string& b) { return "<tr><td>" + a + "</td><td>" + b + "</td></tr>\r\n"; }

const std::string kTableStart = "<div align=\"left\">\r\n<table border=\"1\">\r\n";
const std::string kTableEnd = "</table>\r\n</div>\r\n";

TEST_F(ReportFile, SettingsTableOfACopy)
{
    FILE_TREE_SETTING s;
    s.operation = kOperationCopy;
    s.setSources(L"C:\\Data\\;a.txt;Sub;");
    s.setTarget(L"D:\\Out\\");
    s.setPatterns(L"*.TXT;*.DOC");
    s.sizeClass = 4;
    s.sizeLimitKB = 100;
    s.overwrite = 1;
    s.protectReadOnly = 1;
    const std::string expected = kTableStart + row("Copy From", "C:\\Data\\; a.txt; Sub; ") + row("Copy To", "D:\\Out\\") +
                                 row("Name | Types", "*.TXT; *.DOC") + row("Include subfolders", "Yes") +
                                 row("Exclude the \"Name|Types\"", "No") + row("Modified Time", "Don't concern") +
                                 row("File Size", "Minimum 100KB") + row("Overwrite Target", "If the source is newer.") +
                                 row("Clone the folder tree", "No") + row("Protect readonly file", "Yes") +
                                 row("Verify copies", "No") + kTableEnd;
    EXPECT_EQ(settingsTableOf(s, path), expected);
}

TEST_F(ReportFile, SettingsTableOfAMoveAndADelete)
{
    FILE_TREE_SETTING s;
    s.operation = kOperationMove | kCountingPassFlag;
    s.setSources(L"C:\\Data");
    s.setTarget(L"E:\\T\\");
    s.sizeClass = 2;
    s.sizeLimitIsMaximum = 1;
    s.overwrite = 2;
    s.cloneTree = 1;
    s.verifyCopies = 1;
    s.excludePatterns = 1;
    s.includeSubfolders = 0;
    std::string text = settingsTableOf(s, path);
    EXPECT_NE(text.find(row("Move From", "C:\\Data")), std::string::npos);
    EXPECT_NE(text.find(row("Move To", "E:\\T\\")), std::string::npos);
    EXPECT_NE(text.find(row("Include subfolders", "No")), std::string::npos);
    EXPECT_NE(text.find(row("Exclude the \"Name|Types\"", "Yes")), std::string::npos);
    EXPECT_NE(text.find(row("File Size", "Middle (<1MB)")), std::string::npos);
    EXPECT_NE(text.find(row("Overwrite Target", "Never.")), std::string::npos);
    EXPECT_NE(text.find(row("Clone the folder tree", "Yes")), std::string::npos);
    EXPECT_NE(text.find(row("Protect readonly file", "No") + row("Verify copies", "Yes") + kTableEnd), std::string::npos)
        << "the last row of a move";

    FILE_TREE_SETTING d;
    d.operation = kOperationDelete;
    d.setSources(L"C:\\x\\;y;");
    d.overwrite = 1;
    d.testOnly = 1;
    d.sizeClass = 4;
    d.sizeLimitIsMaximum = 1;
    d.sizeLimitKB = 7;
    d.verifyCopies = 1; // nothing is copied: no row for it
    text = settingsTableOf(d, path);
    const std::string expected = kTableStart + row("Delete", "C:\\x\\; y; ") + row("Name | Types", "") +
                                 row("Include subfolders", "Yes") + row("Exclude the \"Name|Types\"", "No") +
                                 row("Modified Time", "Don't concern") + row("File Size", "Maxmum 7KB") +
                                 row("Send to the Recycle Bin", "Yes") + row("Test Only", "Yes") +
                                 row("Protect readonly file", "No") + kTableEnd;
    EXPECT_EQ(text, expected);
}

TEST_F(ReportFile, ModifiedTimeRangeInLocalLongDates)
{
    FILE_TREE_SETTING s;
    s.operation = kOperationCopy;
    s.timeMode = 1;
    SYSTEMTIME from = {2026, 3, 0, 5, 9, 5, 0, 0};
    SYSTEMTIME to = {2026, 12, 0, 24, 23, 59, 59, 0};
    // The stored times are UTC; the report shows them in local time.
    SYSTEMTIME utcFrom, utcTo;
    ASSERT_TRUE(::TzSpecificLocalTimeToSystemTime(nullptr, &from, &utcFrom));
    ASSERT_TRUE(::TzSpecificLocalTimeToSystemTime(nullptr, &to, &utcTo));
    ASSERT_TRUE(::SystemTimeToFileTime(&utcFrom, &s.timeFrom));
    ASSERT_TRUE(::SystemTimeToFileTime(&utcTo, &s.timeTo));
    wchar_t dateFrom[64], dateTo[64];
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &from, nullptr, dateFrom, 64);
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &to, nullptr, dateTo, 64);
    std::wstring expected = L"From " + std::wstring(dateFrom) + L"-9:5:0 to " + dateTo + L"-23:59:59";
    const std::string text = settingsTableOf(s, path);
    EXPECT_NE(text.find(row("Modified Time", std::string(expected.begin(), expected.end()))), std::string::npos)
        << text;
}

TEST_F(ReportFile, LogOpeningCreatesFoldersAndTruncates)
{
    const std::wstring deep = folder / L"a\\b\\c\\log.htm";
    {
        CLog log;
        ASSERT_TRUE(log.Open(deep.c_str()));
        log.Write("first content that is long", true);
    }
    EXPECT_EQ(test::readBytes(deep), "first content that is long\r\n");
    {
        CLog log;
        ASSERT_TRUE(log.Open(deep.c_str()));
        log.Write(nullptr, true);
        log.WriteText(nullptr, true);
    }
    EXPECT_EQ(test::readBytes(deep), "\r\n\r\n") << "truncated, then exactly CR LF twice";

    CLog log;
    EXPECT_FALSE(log.Open(L""));
    EXPECT_FALSE(log.Open(nullptr));
    log.Write("nothing open", true); // harmless
    // Held open elsewhere without sharing: the log cannot open it.
    HANDLE holder = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(log.Open(path.c_str()));
    ::CloseHandle(holder);
}

TEST(ReportPath, RingOfSixteenInTheRegistry)
{
    const wchar_t* key = L"SOFTWARE\\Brenmoor\\Sorvane";
    auto setNumber = [&](const DWORD* value) {
        HKEY k;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr), 0);
        if (value) ::RegSetValueExW(k, L"LogFileNo", 0, REG_DWORD, reinterpret_cast<const BYTE*>(value), 4);
        else ::RegDeleteValueW(k, L"LogFileNo");
        ::RegCloseKey(k);
    };
    auto number = [&]() {
        DWORD value = 0xDEAD, size = 4;
        ::RegGetValueW(HKEY_CURRENT_USER, key, L"LogFileNo", RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    };
    setNumber(nullptr);
    EXPECT_EQ(report::chooseReportPath(L"C:\\data\\"), L"C:\\data\\SorvaneLog0.htm");
    EXPECT_EQ(number(), 1u);
    EXPECT_EQ(report::chooseReportPath(L"C:\\data\\"), L"C:\\data\\SorvaneLog1.htm");
    const DWORD fifteen = 15;
    setNumber(&fifteen);
    EXPECT_EQ(report::chooseReportPath(L"C:\\data\\"), L"C:\\data\\SorvaneLog15.htm");
    EXPECT_EQ(number(), 0u);
    const DWORD minusOne = 0xFFFFFFFF;
    setNumber(&minusOne);
    EXPECT_EQ(report::chooseReportPath(L""), L"SorvaneLog-1.htm");
    EXPECT_EQ(number(), 0u);
    setNumber(nullptr);
}

TEST(ReportText, ColoursAndSpacedLists)
{
    EXPECT_EQ(report::colourText(0x0000FF), "#FF0000");
    EXPECT_EQ(report::colourText(0x0080FF), "#FF8000");
    EXPECT_EQ(report::colourText(0x008000), "#008000");
    EXPECT_EQ(report::colourText(0xFF00FF), "#FF00FF");
    EXPECT_EQ(report::spacedList(L"C:\\Data\\;a.txt;Sub;"), L"C:\\Data\\; a.txt; Sub; ");
    EXPECT_EQ(report::spacedList(L""), L"");
}

} // namespace
