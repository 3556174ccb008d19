// The compress operation against a recording stand-in of the archiver
// library: the command lines and response files byte for byte, the archive
// modes, the self-extract step, acquiring the library, and that a failed
// new archive never costs the user the old one.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "archive/CompressFiles.h"
#include "archive/LhaLibrary.h"
#include "base/AppState.h"
#include "base/Strings.h"
#include "engine/FileTreeSetting.h"

#include <string>
#include <vector>

using namespace sorvane;

namespace {

int g_prompts = 0;
void countPrompt() { ++g_prompts; }

std::string ansi(const std::wstring& text) { return compress::toAnsi(text); }
bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class Compress : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_prompts = 0;
        previousPrompt = LhaLibrary::setDownloadPrompt(countPrompt);
        ASSERT_TRUE(::CreateDirectoryW(libraryFolder.c_str(), nullptr));
        ASSERT_TRUE(::CopyFileW((test::programFolder() + L"unlha_recorder.dll").c_str(),
                                (libraryFolder + L"\\UnLha32.dll").c_str(), FALSE));
        LhaLibrary::setSearchFolder((libraryFolder + L"\\").c_str());
        for (const char* name : {"SORVANE_RECORDER_VERSION", "SORVANE_RECORDER_RESULT", "SORVANE_RECORDER_WATCH",
                                 "SORVANE_RECORDER_LITTER"}) {
            ::SetEnvironmentVariableA(name, nullptr);
        }
        ASSERT_TRUE(::CreateDirectoryW((data / L"Sub").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((data / L"My Sub").c_str(), nullptr));
        ASSERT_TRUE(test::writeBytes(data / L"a.txt", "a"));
        settings.operation = kOperationCompress;
        settings.includeSubfolders = 1;
    }
    void TearDown() override
    {
        LhaLibrary::setSearchFolder(nullptr);
        LhaLibrary::setDownloadPrompt(previousPrompt);
    }

    int run(std::wstring* messageOut = nullptr)
    {
        wchar_t message[256] = {};
        const int result = CompressFiles(settings, message, 256);
        if (messageOut) *messageOut = message;
        return result;
    }
    // The calls the stand-in saw: "CMD:..." and "RSP:..." lines.
    std::vector<std::string> calls() const
    {
        std::vector<std::string> lines;
        std::string text = test::readBytes(libraryFolder + L"\\calls.log");
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    static std::string responseOf(const std::string& commandLine)
    {
        return commandLine.substr(commandLine.find('@') + 1);
    }

    test::TempFolder root;
    std::wstring libraryFolder = root / L"lib";
    test::TempFolder data;
    FILE_TREE_SETTING settings;
    LhaLibrary::DownloadPrompt previousPrompt = nullptr;
};

TEST_F(Compress, ParentAndNamesWithPatterns)
{
    const std::wstring out = root / L"Out";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    settings.setSources((data.path() + L"\\;a.txt;Sub;gone;").c_str());
    settings.setTarget((out + L"\\Data.lzh").c_str());
    settings.setPatterns(L"*.txt;*.doc");
    ASSERT_EQ(run(), 1);
    const auto lines = calls();
    ASSERT_EQ(lines.size(), 2u);
    const std::string expected = "CMD:a " + ansi(out) + "\\Data.lzh " + ansi(data.path()) + "\\ -x1 -r1 @";
    EXPECT_TRUE(startsWith(lines[0], expected)) << lines[0];
    EXPECT_EQ(lines[1], "RSP:a.txt Sub\\*.txt Sub\\*.doc ");
    const std::string response = responseOf(lines[0]);
    EXPECT_FALSE(test::exists(std::wstring(response.begin(), response.end())))
        << "the response file is deleted after the call";
}

TEST_F(Compress, ExclusionAndSingleFolder)
{
    settings.setSources(data.path().c_str());
    settings.setTarget((root / L"x.lzh").c_str());
    settings.setPatterns(L"*.tmp;*.bak");
    settings.excludePatterns = 1;
    settings.includeSubfolders = 0;
    ASSERT_EQ(run(), 1);
    auto lines = calls();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" -x1 @"), std::string::npos) << "no -r1 without subfolders";
    EXPECT_EQ(lines[1], "RSP:*.* -jx*.tmp -jx*.bak ");

    // Parent and names with exclusion: folders whole, files, then the -jx list.
    ::DeleteFileW((libraryFolder + L"\\calls.log").c_str());
    settings.setSources((data.path() + L"\\;Sub;a.txt;").c_str());
    ASSERT_EQ(run(), 1);
    lines = calls();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "RSP:Sub\\*.* a.txt -jx*.tmp -jx*.bak ");
}

TEST_F(Compress, BlanksAreQuotedAndTimesWritten)
{
    const std::wstring out = root / L"Out Dir";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    settings.setSources((data.path() + L"\\My Sub").c_str());
    settings.setTarget((out + L"\\My Archive").c_str());
    settings.setPatterns(L"*.*");
    settings.timeMode = 1;
    SYSTEMTIME from = {2024, 3, 0, 5, 8, 7, 33, 0};
    SYSTEMTIME to = {2024, 3, 0, 6, 9, 0, 0, 0};
    ::SystemTimeToFileTime(&from, &settings.timeFrom);
    ::SystemTimeToFileTime(&to, &settings.timeTo);
    ASSERT_EQ(run(), 1);
    const auto lines = calls();
    ASSERT_GE(lines.size(), 1u);
    const std::string expected = "CMD:a \"" + ansi(out) + "\\My Archive.lzh\" \"" + ansi(data.path()) +
                                 "\\My Sub\\\" -x1 -r1 -jol202403050807 -jobl202403060900 @";
    EXPECT_TRUE(startsWith(lines[0], expected)) << lines[0];
}

TEST_F(Compress, ModesDecideTheCommandWord)
{
    const std::wstring archive = root / L"arc.lzh";
    settings.setSources((data.path() + L"\\;a.txt;").c_str());
    settings.setTarget(archive.c_str());
    settings.setPatterns(L"*.*");
    ::SetEnvironmentVariableW(L"SORVANE_RECORDER_WATCH", archive.c_str());

    settings.overwrite = 1; // newer only, archive missing: "a "
    ASSERT_EQ(run(), 1);
    ASSERT_TRUE(test::writeBytes(archive, "old archive"));
    ASSERT_EQ(run(), 1);    // now it exists: "u "
    settings.overwrite = 2; // add: always "a "
    ASSERT_EQ(run(), 1);
    settings.overwrite = 0; // new archive: the old one is out of the way while the library runs
    ASSERT_EQ(run(), 1);
    const auto lines = calls();
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0].substr(0, 6), "CMD:a ");
    EXPECT_EQ(lines[3].substr(0, 6), "CMD:u ");
    EXPECT_EQ(lines[5], "ARCHIVE:1");
    EXPECT_EQ(lines[6].substr(0, 6), "CMD:a ");
    EXPECT_EQ(lines[9].substr(0, 6), "CMD:a ");
    EXPECT_EQ(lines[11], "ARCHIVE:0");
    // The stand-in made nothing, and the run succeeded: the old archive is gone.
    EXPECT_FALSE(test::exists(archive));
    EXPECT_FALSE(test::exists(archive + L".old0"));
}

TEST_F(Compress, FailedNewArchiveKeepsTheOldOne)
{
    const std::wstring archive = root / L"keep.lzh";
    ASSERT_TRUE(test::writeBytes(archive, "precious old archive"));
    settings.setSources((data.path() + L"\\;a.txt;").c_str());
    settings.setTarget(archive.c_str());
    settings.overwrite = 0;
    ::SetEnvironmentVariableW(L"SORVANE_RECORDER_WATCH", archive.c_str());
    ::SetEnvironmentVariableA("SORVANE_RECORDER_RESULT", "1");
    ::SetEnvironmentVariableA("SORVANE_RECORDER_LITTER", "1");
    std::wstring message;
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, L"");
    EXPECT_EQ(test::readBytes(archive), "precious old archive");
    EXPECT_FALSE(test::exists(archive + L".old0"));
}

TEST_F(Compress, SelfExtractFromAnExeTarget)
{
    const std::wstring out = root / L"Out";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    settings.setSources((data.path() + L"\\;a.txt;").c_str());
    settings.setTarget((out + L"\\Data.EXE").c_str());
    settings.sizeLimitIsMaximum = 1;
    settings.sizeClass = 3; // English, no dialog
    ASSERT_EQ(run(), 1);
    auto lines = calls();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(startsWith(lines[0], "CMD:a " + ansi(out) + "\\Data.lzh ")) << lines[0];
    EXPECT_EQ(lines[2], "CMD:s -gwe2 " + ansi(out) + "\\Data.lzh " + ansi(out) + "\\");

    // A failed archive step makes no self-extractor.
    ::DeleteFileW((libraryFolder + L"\\calls.log").c_str());
    ::SetEnvironmentVariableA("SORVANE_RECORDER_RESULT", "3");
    settings.sizeClass = 0;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(calls().size(), 2u);
}

TEST_F(Compress, MissingNamesGiveAnEmptyResponseAndTheLibraryDecides)
{
    settings.setSources((data.path() + L"\\;gone1;gone2;").c_str());
    settings.setTarget((root / L"e.lzh").c_str());
    settings.setPatterns(L"*.*");
    ::SetEnvironmentVariableA("SORVANE_RECORDER_RESULT", "2");
    EXPECT_EQ(run(), 0);
    const auto lines = calls();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "RSP:");
}

TEST_F(Compress, DriveRootFormsStandForTheWholeDrive)
{
    for (const wchar_t* list : {L"Z:\\;;", L"Z:\\;"}) {
        ::DeleteFileW((libraryFolder + L"\\calls.log").c_str());
        settings.setSources(list);
        settings.setTarget((root / L"r.lzh").c_str());
        settings.setPatterns(L"*.ini;;");
        ASSERT_EQ(run(), 1);
        const auto lines = calls();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(startsWith(lines[0], "CMD:a " + ansi(root.path()) + "\\r.lzh ")) << lines[0];
        EXPECT_NE(lines[0].find(" Z:\\ -x1 -r1 @"), std::string::npos);
        EXPECT_EQ(lines[1], "RSP:*.ini ") << "the root once, empty patterns left out";
    }
}

TEST_F(Compress, AcquiringTheLibrary)
{
    settings.setSources(data.path().c_str());
    settings.setTarget((root / L"v.lzh").c_str());
    std::wstring message;
    ::SetEnvironmentVariableA("SORVANE_RECORDER_VERSION", "64");
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, L"The version of the unlha32.dll is too old!");
    ::SetEnvironmentVariableA("SORVANE_RECORDER_VERSION", "65");
    EXPECT_EQ(run(&message), 1);
    EXPECT_EQ(message, L"");
    EXPECT_EQ(g_prompts, 0);

    ::DeleteFileW((libraryFolder + L"\\UnLha32.dll").c_str());
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, L"Please install the unlha32.dll in your system!");
    EXPECT_EQ(g_prompts, 1) << "the download dialog once per operation";

    settings.operation = kOperationCopy;
    EXPECT_EQ(run(&message), 0) << "only a compress operation compresses";
    EXPECT_EQ(g_prompts, 1);
}

TEST(CompressNames, ArchiveNames)
{
    EXPECT_EQ(compress::archiveName(L"D:\\Out\\Data"), L"D:\\Out\\Data.lzh");
    EXPECT_EQ(compress::archiveName(L"D:\\Out\\Data.EXE"), L"D:\\Out\\Data.lzh");
    EXPECT_EQ(compress::archiveName(L"D:\\Out\\Data.lha"), L"D:\\Out\\Data.lha");
    EXPECT_EQ(compress::archiveName(L"D:\\Out.d\\Data"), L"D:\\Out.d\\Data.lzh");
}

} // namespace
