// The run sequence without windows: what its host is told and asked, in
// which order, and how the run ends, for each way it can go.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "run/LogHtml.h"
#include "run/RunSequence.h"

#include <string>
#include <vector>

using namespace sorvane;

namespace {

class RecordingHost final : public IRunHost {
public:
    void OnPhase(RunPhase phase) override
    {
        static const char* const kNames[] = {"counting", "executing", "finished"};
        events.push_back(kNames[static_cast<int>(phase)]);
    }
    void OnRefusal(const std::wstring&) override { events.push_back("refused"); }
    bool OnShortage(int64_t shortfall) override
    {
        events.push_back("shortage");
        asked = shortfall;
        return goOn;
    }
    void ProcessSelection(FILE_TREE_SETTING& job) override
    {
        events.push_back("pass");
        IRunHost::ProcessSelection(job);
    }
    std::vector<std::string> events;
    bool goOn = false;
    int64_t asked = 0;
};

bool noRoom(const wchar_t*, uint64_t* freeBytes)
{
    *freeBytes = 2;
    return true;
}

TEST(RunSequence, TellsItsHostEachPhaseAndEndsAsTheRunWent)
{
    test::TempFolder root;
    ASSERT_TRUE(::CreateDirectoryW((root / L"src").c_str(), nullptr));
    ASSERT_TRUE(test::writeBytes(root / L"src\\a.txt", "alpha"));
    using Events = std::vector<std::string>;
    const struct {
        const char* name;
        uint32_t operation;
        const wchar_t* target;
        const wchar_t* patterns;
        bool full;     // the target's volume has 2 bytes free
        bool goOn;     // the host's answer to a shortage
        bool cancel;   // cancelled before it starts
        RunEnd end;
        bool nothing;  // nothing qualified
        Events events;
        bool copied;
    } cases[] = {
        {"copy", kOperationCopy, L"out", L"*.txt", false, false, false, RunEnd::Completed, false,
         {"counting", "pass", "executing", "pass", "finished"}, true},
        {"nothing qualifies", kOperationCopy, L"out", L"*.none", false, false, false, RunEnd::Completed, true,
         {"counting", "pass", "finished"}, false},
        {"overlap", kOperationCopy, L"src\\in", L"*.txt", false, false, false, RunEnd::Refused, false,
         {"refused", "counting", "finished"}, false},
        {"no room, refused", kOperationCopy, L"out", L"*.txt", true, false, false, RunEnd::NoRoom, false,
         {"counting", "pass", "shortage", "finished"}, false},
        {"no room, gone on", kOperationCopy, L"out", L"*.txt", true, true, false, RunEnd::Completed, false,
         {"counting", "pass", "shortage", "executing", "pass", "finished"}, true},
        {"cancelled", kOperationCopy, L"out", L"*.txt", false, false, true, RunEnd::Cancelled, false,
         {"counting", "finished"}, false},
        // Last: it deletes the source.
        {"a delete needs no room", kOperationDelete, L"", L"*.txt", true, false, false, RunEnd::Completed, false,
         {"counting", "pass", "executing", "pass", "finished"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::removeTree(root / L"out");
        FILE_TREE_SETTING job;
        job.operation = c.operation;
        job.setSources((root / L"src").c_str());
        job.setTarget(*c.target ? (root / c.target).c_str() : L"");
        job.setPatterns(c.patterns);
        job.cancel = c.cancel ? 1 : 0;
        addTargetSeparator(job);
        setFreeSpaceQuery(c.full ? noRoom : nullptr);
        RecordingHost host;
        host.goOn = c.goOn;
        CLogHtml report;
        const RunOutcome outcome = runSequence(job, &report, root / L"report.htm", host);
        setFreeSpaceQuery(nullptr);
        EXPECT_EQ(outcome.end, c.end);
        EXPECT_EQ(outcome.nothingQualified, c.nothing);
        EXPECT_EQ(host.events, c.events);
        EXPECT_EQ(test::exists(root / L"out\\a.txt"), c.copied);
        if (c.full && c.operation == kOperationCopy) {
            EXPECT_EQ(host.asked, 5 - 2) << "the bytes it lacks";
        }
        EXPECT_EQ(job.log, nullptr) << "no sink outlives the run";
        EXPECT_EQ(job.operation & kCountingPassFlag, 0u);
        const std::string text = test::readBytes(root / L"report.htm");
        EXPECT_NE(text.find("</html>"), std::string::npos) << "the report is complete whatever the end";
        EXPECT_EQ(text.find("Action has been canceled.") != std::string::npos,
                  c.end != RunEnd::Completed);
    }
}

} // namespace
