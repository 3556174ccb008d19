// Random command lines and random hand-off files never crash the parser or
// the reader, and the parser's results stay within its contract.
#include <gtest/gtest.h>

#include "base/AppState.h"
#include "core/CommandLine.h"
#include "engine/FileTreeSetting.h"
#include "common/HandOff.h"
#include "TestSupport.h"

#include <cwchar>
#include <random>

using namespace sorvane;

namespace {

std::wstring randomLine(std::mt19937& rng)
{
    static const wchar_t alphabet[] = L"/:; \\CcMmDdLlTtHhFfGgAaXx.01\u00e9\u3042";
    const size_t alphabetSize = sizeof(alphabet) / sizeof(alphabet[0]) - 1;
    std::uniform_int_distribution<size_t> length(0, 40);
    std::uniform_int_distribution<size_t> pick(0, alphabetSize - 1);
    std::wstring line(length(rng), L' ');
    for (wchar_t& c : line) c = alphabet[pick(rng)];
    return line;
}

TEST(RandomInput, ParserKeepsItsContract)
{
    test::MessageRecorder recorder;
    std::mt19937 rng(20261207);
    int accepted = 0;
    for (int i = 0; i < 30000; ++i) {
        std::wstring line = randomLine(rng);
        const std::wstring original = line;
        CommandTable table;
        recorder.clear();
        const int result = parseCommandLine(line.data(), table);
        ASSERT_TRUE(result == 0 || result == 1 || result == 2);
        // An error is reported exactly once; otherwise nothing is shown.
        ASSERT_EQ(recorder.messages().size(), result == 0 ? 1u : 0u);
        if (result == 2) {
            ASSERT_EQ(original.find(L'/'), std::wstring::npos);
        }
        if (result != 1) continue;
        ++accepted;
        for (const Command& command : table.entries) {
            if (!command.parameter) continue;
            // Parameters point into the text, are not empty, hold no '/'.
            ASSERT_GE(command.parameter, line.data());
            ASSERT_LT(command.parameter, line.data() + line.size());
            ASSERT_NE(*command.parameter, L'\0');
            ASSERT_EQ(std::wcschr(command.parameter, L'/'), nullptr);
        }
        FILE_TREE_SETTING settings;
        uint32_t pending = 0;
        ASSERT_EQ(applyCommands(table, settings, pending), 1);
        ASSERT_LE(pending, 3u);
    }
    EXPECT_GT(accepted, 100) << "the generator should also make valid lines";
}

TEST(RandomInput, HandOffReaderTakesAnyBytes)
{
    test::TempFolder folder;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 3000);
    for (int i = 0; i < 2000; ++i) {
        std::string bytes(static_cast<size_t>(length(rng)), '\0');
        for (char& c : bytes) c = static_cast<char>(byte(rng));
        // Named as the extension names its hand-off files, in a folder it
        // writes to, so that the reader deletes it.
        wchar_t name[16] = {};
        std::swprintf(name, 16, L"Sor%X.tmp", static_cast<unsigned>(i));
        const std::wstring file = folder / name;
        ASSERT_TRUE(test::writeBytes(file, bytes));
        handoff::CommandText text = handoff::obtainCommandText((L"x /F:" + file).c_str(), {folder.path()});
        ASSERT_EQ(static_cast<bool>(text), !bytes.empty());
        if (text) {
            // Terminated within the bytes read plus the guaranteed zeros.
            ASSERT_LE(std::wcslen(text.get()), (bytes.size() + 1) / 2);
            std::wstring copy = text.get();
            CommandTable table;
            test::MessageRecorder recorder;
            const int result = parseCommandLine(copy.data(), table);
            ASSERT_TRUE(result >= 0 && result <= 2);
        }
        ASSERT_FALSE(test::exists(file));
    }
}

} // namespace
