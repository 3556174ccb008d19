// The report page byte for byte, the settings table for each operation,
// escaped text, names in UTF-8 and plain paths, the report number ring in
// the registry, and the buffered log file underneath.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/AppState.h"
#include "engine/FileTreeSetting.h"
#include "run/LogHtml.h"
#include "res/SorvaneRes.h"

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
        report.WriteParagraph(IDS_CANCELED, kColourRed);
        report.WriteParagraph(IDS_CANCELED, kColourNone);
        report.WriteFooter();
    }
    const std::string expected =
        "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n"
        "<meta charset=\"utf-8\">\r\n"
        "<meta name=\"GENERATOR\" content=\"Sorvane\">\r\n"
        "<title>Sorvane Log File</title>\r\n"
        "</head>\r\n<body>\r\n"
        "<div align=\"left\">\r\n<table border=\"1\">\r\n"
        "<tr><td>a &amp; b</td><td>c</td></tr>\r\n"
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
        log.WriteOutcome(L"C:\\a\\b.txt", {kStatusSuccess});
        log.WriteOutcome(L"C:\\gone", {kStatusNotExist});
        log.WriteOutcome(L"C:\\ro.txt", {kStatusFailed, kReasonNone, ERROR_ACCESS_DENIED});
        log.WriteOutcome(L"C:\\x", {kStatusFolderFailed, kReasonNone, ERROR_FILE_NOT_FOUND});
        log.WriteOutcome(L"C:\\y", {kStatusFailed, kReasonNone, 0x2000FFFF}); // no system text
    }
    const std::string text = read();
    EXPECT_NE(text.find("<tr><td>C:\\a\\b.txt</td><td>Success</td></tr>\r\n"), std::string::npos);
    EXPECT_NE(text.find("<tr><td><font color=\"#FF0000\">C:\\gone</font></td>\r\n"
                        "<td><font color=\"#FF0000\">Not Exist</font></td>\r\n</tr>\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("<tr><td>C:\\ro.txt</td><td>Failed--Access denied.\r\n</td></tr>\r\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("<td><font color=\"#FF8000\">Failed(Folder)--File not found.\r\n</font></td>"),
              std::string::npos);
    EXPECT_NE(text.find("<tr><td>C:\\y</td><td>Failed--</td></tr>\r\n"), std::string::npos);
}

// What a browser reads back from the page: the UTF-8 bytes decoded.
std::wstring fromUtf8(const std::string& bytes)
{
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                            nullptr, 0);
    std::wstring text(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) {
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                              units);
    }
    return text;
}

TEST_F(ReportFile, NamesOutsideTheCodePageAreWrittenAsTheyAre)
{
    // Under an English interface (code page 1252) none of these fits the
    // ANSI code page: the report is UTF-8 and says so in its head.
    const wchar_t* names[] = {L"C:\\x\\\u65E5\u672C\u8A9E.txt", L"C:\\x\\\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC.txt",
                              L"C:\\x\\\U0001F600smile.txt", L"C:\\x\\caf\u00E9.txt"};
    ASSERT_EQ(::GetACP(), 1252u) << "the ordinary run has the English code page";
    {
        CLogHtml report;
        ASSERT_TRUE(report.Open(path.c_str()));
        report.WriteHead(L"Sorvane", L"Sorvane Log File");
        for (const wchar_t* name : names) report.WriteOutcome(name, {kStatusSuccess});
        report.WriteFooter();
    }
    const std::string bytes = read();
    EXPECT_NE(bytes.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_EQ(bytes.find('?'), std::string::npos) << "no name lost to the code page's default character";
    const std::wstring text = fromUtf8(bytes);
    ASSERT_FALSE(text.empty()) << "the page is valid UTF-8";
    for (size_t i = 0; i < std::size(names); ++i) {
        EXPECT_NE(text.find(L"<tr><td>" + std::wstring(names[i]) + L"</td><td>Success</td></tr>\r\n"),
                  std::wstring::npos)
            << "row " << i;
    }
    // "\u65E5" is the three bytes E6 97 A5, the emoji four bytes.
    EXPECT_NE(bytes.find("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"), std::string::npos);
    EXPECT_NE(bytes.find("\xF0\x9F\x98\x80smile.txt"), std::string::npos);
}

TEST_F(ReportFile, EveryTextIsEscapedAndNothingElse)
{
    {
        CLogHtml report;
        ASSERT_TRUE(report.Open(path.c_str()));
        ILogSink& log = report;
        log.WriteOutcome(L"C:\\R&amp;D.txt", {kStatusSuccess});
        log.WriteOutcome(L"C:\\<b>bold</b> \"quoted\".txt", {kStatusNotExist});
        log.WriteOutcome(L"C:\\a&b.txt", {kStatusFailed, kReasonNone, ERROR_ACCESS_DENIED});
        log.WriteOutcome(L"C:\\x>y.txt", {kStatusFailed, kReasonNotRecycled, 0});
        log.WriteOutcome(L"C:\\plain.txt", {kStatusSuccess});
    }
    const std::string text = read();
    const std::string expected =
        "<tr><td>C:\\R&amp;amp;D.txt</td><td>Success</td></tr>\r\n"
        "<tr><td><font color=\"#FF0000\">C:\\&lt;b&gt;bold&lt;/b&gt; &quot;quoted&quot;.txt</font></td>\r\n"
        "<td><font color=\"#FF0000\">Not Exist</font></td>\r\n</tr>\r\n"
        "<tr><td>C:\\a&amp;b.txt</td><td>Failed--Access denied.\r\n</td></tr>\r\n"
        "<tr><td>C:\\x&gt;y.txt</td><td>Failed--The file could not be sent to the Recycle Bin; it was kept.</td></tr>\r\n"
        "<tr><td>C:\\plain.txt</td><td>Success</td></tr>\r\n";
    EXPECT_EQ(text, expected);
}

TEST_F(ReportFile, PathsAreShownWithoutTheLongPathPrefix)
{
    {
        CLogHtml report;
        ASSERT_TRUE(report.Open(path.c_str()));
        ILogSink& log = report;
        log.WriteOutcome(L"\\\\?\\C:\\Data\\a.txt", {kStatusSuccess});
        log.WriteOutcome(L"\\\\?\\UNC\\server\\share\\b.txt", {kStatusSuccess});
        log.WriteOutcome(L"\\\\?\\D:\\c&d.txt", {kStatusFailed, kReasonNone, ERROR_ACCESS_DENIED});
        log.WriteOutcome(L"\\\\?\\unc\\srv\\sh\\e.txt", {kStatusFolderFailed, kReasonNotRecycled, 0});
        // A long form without an ordinary one is shown as it is.
        log.WriteOutcome(L"\\\\?\\Volume{1}\\f.txt", {kStatusSuccess});
        log.WriteOutcome(L"\\\\server\\share\\g.txt", {kStatusSuccess});
    }
    const std::string text = read();
    EXPECT_NE(text.find("<tr><td>C:\\Data\\a.txt</td>"), std::string::npos) << text;
    EXPECT_NE(text.find("<tr><td>\\\\server\\share\\b.txt</td>"), std::string::npos);
    EXPECT_NE(text.find("<tr><td>D:\\c&amp;d.txt</td>"), std::string::npos);
    EXPECT_NE(text.find("<tr><td><font color=\"#FF8000\">\\\\srv\\sh\\e.txt</font></td>"), std::string::npos);
    EXPECT_NE(text.find("<tr><td>\\\\?\\Volume{1}\\f.txt</td>"), std::string::npos);
    EXPECT_NE(text.find("<tr><td>\\\\server\\share\\g.txt</td>"), std::string::npos);
    EXPECT_EQ(text.find("\\\\?\\C:"), std::string::npos);
    EXPECT_EQ(text.find("UNC"), std::string::npos);
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
                                 row("Exclude the &quot;Name|Types&quot;", "No") + row("Modified Time", "Don't concern") +
                                 row("File Size", "Minimum 100KB") + row("Overwrite Target", "If the source is newer.") +
                                 row("Clone the folder tree", "No") + row("Protect readonly file", "Yes") +
                                 row("Verify copies", "No") +
                                 row("Console command line", "SorvaneCmd.exe copy C:\\Data\\;a.txt;Sub; D:\\Out "
                                                             "/names:*.TXT;*.DOC /size:min:100 /protect /overwrite:newer") +
                                 kTableEnd;
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
    EXPECT_NE(text.find(row("Exclude the &quot;Name|Types&quot;", "Yes")), std::string::npos);
    EXPECT_NE(text.find(row("File Size", "Middle (&lt;1MB)")), std::string::npos);
    EXPECT_NE(text.find(row("Overwrite Target", "Never.")), std::string::npos);
    EXPECT_NE(text.find(row("Clone the folder tree", "Yes")), std::string::npos);
    EXPECT_NE(text.find(row("Protect readonly file", "No") + row("Verify copies", "Yes") +
                        row("Console command line",
                            "SorvaneCmd.exe move C:\\Data E:\\T /names: /exclude /nosub /size:middle /overwrite:never /clone") +
                        kTableEnd),
              std::string::npos)
        << "the last rows of a move";

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
                                 row("Include subfolders", "Yes") + row("Exclude the &quot;Name|Types&quot;", "No") +
                                 row("Modified Time", "Don't concern") + row("File Size", "Maxmum 7KB") +
                                 row("Send to the Recycle Bin", "Yes") + row("Test Only", "Yes") +
                                 row("Protect readonly file", "No") +
                                 row("Console command line", "SorvaneCmd.exe delete C:\\x\\;y; /names: /size:max:7 /recycle /test") +
                                 kTableEnd;
    EXPECT_EQ(text, expected);
}

TEST_F(ReportFile, SettingsTableEscapesTheListsAndShowsPlainPaths)
{
    FILE_TREE_SETTING s;
    s.operation = kOperationCopy;
    s.setSources(L"\\\\?\\C:\\R&D\\;<a>.txt;\"q\";");
    s.setTarget(L"\\\\?\\UNC\\srv\\share\\x>y\\");
    s.setPatterns(L"<script>*.txt;a&b*");
    const std::string text = settingsTableOf(s, path);
    EXPECT_NE(text.find(row("Copy From", "C:\\R&amp;D\\; &lt;a&gt;.txt; &quot;q&quot;; ")), std::string::npos) << text;
    EXPECT_NE(text.find(row("Copy To", "\\\\srv\\share\\x&gt;y\\")), std::string::npos) << text;
    EXPECT_NE(text.find(row("Name | Types", "&lt;script&gt;*.txt; a&amp;b*")), std::string::npos) << text;
    EXPECT_EQ(text.find("<script>"), std::string::npos);
    EXPECT_EQ(text.find("<a>"), std::string::npos);
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

// The size of a file as its folder lists it (the file itself is held open
// without sharing while the log writes it).
uint64_t listedSize(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW(path.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    ::FindClose(find);
    return (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
}

TEST_F(ReportFile, RowsReachTheFileInBlocksOfWholeRows)
{
    const std::string row = "<tr><td>C:\\folder\\file-with-a-name.txt</td><td>Success</td></tr>\r\n";
    uint64_t seen = 0;
    size_t blocks = 0;
    {
        CLogHtml report;
        ASSERT_TRUE(report.Open(path.c_str()));
        for (int i = 0; i < 5000; ++i) {
            report.WriteOutcome(L"C:\\folder\\file-with-a-name.txt", {kStatusSuccess});
            const uint64_t size = listedSize(path);
            ASSERT_EQ(size % row.size(), 0u) << "only whole rows are ever in the file";
            if (size != seen) ++blocks;
            seen = size;
        }
        EXPECT_GT(blocks, 2u) << "a long run reaches the file while it runs";
        EXPECT_LT(blocks, 100u) << "in blocks, not row by row";
    }
    const std::string text = read();
    EXPECT_EQ(text.size(), row.size() * 5000) << "closing writes the rest";
    EXPECT_EQ(text.substr(text.size() - row.size()), row);
}

TEST_F(ReportFile, ARowThatWaitsIsWrittenWithTheNextOne)
{
    CLogHtml report;
    ASSERT_TRUE(report.Open(path.c_str()));
    report.WriteOutcome(L"C:\\a.txt", {kStatusSuccess});
    EXPECT_EQ(listedSize(path), 0u) << "a single row waits in the buffer";
    ::Sleep(CLog::kFlushMilliseconds + 100);
    report.WriteOutcome(L"C:\\b.txt", {kStatusSuccess});
    EXPECT_EQ(listedSize(path), 2 * std::string("<tr><td>C:\\a.txt</td><td>Success</td></tr>\r\n").size())
        << "rows are not held back for long";
    report.Flush();
    EXPECT_EQ(report.buffered(), 0u);
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
