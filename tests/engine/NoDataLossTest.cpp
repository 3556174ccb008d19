// No file is ever lost or cut short: moves of 300 files, within a volume
// and to another one, cancelled at many different points (between files,
// inside the copy progress routine, at random moments from another
// thread), onto read-only targets and onto targets held open by another
// handle. After every run each file must be whole at its source or at its
// target, never neither; a target holds either the new file or its old
// content; no temporary copy is left behind.
#include <gtest/gtest.h>

#include "EngineFakes.h"
#include "common/Raii.h"

#include <chrono>
#include <iostream>
#include <random>
#include <thread>

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr int kFolders = 6;
constexpr int kFilesPerFolder = 50;

struct PlannedFile {
    std::wstring relative;   // "dirN\fileM.dat"
    size_t size;
    bool hasOldTarget = false;
    bool readOnlyTarget = false;
    bool heldTarget = false;
};

enum class TargetVolume { Same, Other };
enum class Hostile { None, ReadOnlyUnprotected, ReadOnlyProtected, Held };

class Scenario {
public:
    Scenario(TargetVolume volume, Hostile hostile) : hostile_(hostile)
    {
        src_ = root_ / L"src";
        if (volume == TargetVolume::Other) {
            other_ = std::make_unique<OtherVolumeFolder>();
            dst_ = other_->valid() ? other_->path() : L"";
        } else {
            dst_ = root_ / L"dst";
        }
    }
    bool valid() const { return !dst_.empty(); }

    void build()
    {
        ASSERT_TRUE(::CreateDirectoryW(src_.c_str(), nullptr));
        ::CreateDirectoryW(dst_.c_str(), nullptr);
        int n = 0;
        for (int f = 0; f < kFolders; ++f) {
            const std::wstring folder = L"dir" + std::to_wstring(f);
            ASSERT_TRUE(::CreateDirectoryW((src_ + L"\\" + folder).c_str(), nullptr));
            for (int i = 0; i < kFilesPerFolder; ++i, ++n) {
                PlannedFile planned;
                planned.relative = folder + L"\\file" + std::to_wstring(i) + L".dat";
                // Mostly small files, every fifteenth spans several 64 KB chunks.
                planned.size = (n % 15 == 7) ? 130000 + static_cast<size_t>(n) : static_cast<size_t>((n * 37) % 3000);
                if (hostile_ != Hostile::None && n % 4 == 1) {
                    planned.hasOldTarget = true;
                    planned.readOnlyTarget = hostile_ == Hostile::ReadOnlyUnprotected || hostile_ == Hostile::ReadOnlyProtected;
                    planned.heldTarget = hostile_ == Hostile::Held;
                }
                ASSERT_TRUE(writeBytes(source(planned), contentFor(planned.relative, planned.size)));
                if (planned.hasOldTarget) {
                    ::CreateDirectoryW((dst_ + L"\\" + folder).c_str(), nullptr);
                    ASSERT_TRUE(writeBytes(target(planned), oldContent(planned)));
                    if (planned.readOnlyTarget) {
                        ASSERT_TRUE(makeReadOnly(target(planned)));
                    }
                    if (planned.heldTarget) {
                        held_.emplace_back(::CreateFileW(target(planned).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                         OPEN_EXISTING, 0, nullptr));
                        ASSERT_TRUE(held_.back());
                    }
                }
                files_.push_back(planned);
            }
        }
    }

    // Prepares a move of every folder and runs its counting pass; the
    // caller arms its cancel and runs the executing pass.
    void move(EngineRun& run)
    {
        std::vector<std::wstring> names;
        for (int f = 0; f < kFolders; ++f) names.push_back(L"dir" + std::to_wstring(f));
        run.settings.setSources(sourceList(src_, names).c_str());
        run.settings.setTarget(dst_.c_str());
        run.settings.protectReadOnly = hostile_ == Hostile::ReadOnlyProtected ? 1 : 0;
        run.counting();
        ASSERT_EQ(run.settings.totalFiles, files_.size());
    }

    void release() { held_.clear(); }

    // Checks every file; returns how many were checked.
    size_t verify(const char* where)
    {
        release();
        size_t checked = 0;
        for (const auto& planned : files_) {
            const std::string expected = contentFor(planned.relative, planned.size);
            const bool atSource = exists(source(planned));
            const bool atTarget = exists(target(planned));
            const std::string sourceBytes = atSource ? readBytes(source(planned)) : std::string();
            const std::string targetBytes = atTarget ? readBytes(target(planned)) : std::string();
            if (atSource) {
                EXPECT_EQ(sourceBytes.size(), planned.size) << where << " source cut short: " << planned.relative.c_str();
                EXPECT_TRUE(sourceBytes == expected) << where << " source changed: " << planned.relative.c_str();
            }
            if (atTarget) {
                const bool whole = targetBytes == expected;
                const bool old = planned.hasOldTarget && targetBytes == oldContent(planned);
                EXPECT_TRUE(whole || old) << where << " target neither new nor old: " << planned.relative.c_str()
                                          << " (" << targetBytes.size() << " bytes)";
            }
            const bool safe = (atSource && sourceBytes == expected) || (atTarget && targetBytes == expected);
            EXPECT_TRUE(safe) << where << " lost: " << planned.relative.c_str();
            if (planned.readOnlyTarget && hostile_ == Hostile::ReadOnlyProtected) {
                EXPECT_EQ(targetBytes, oldContent(planned)) << where << " protected target replaced";
                EXPECT_TRUE(atSource) << where << " source of a protected target gone";
            }
            if (planned.heldTarget) {
                EXPECT_EQ(targetBytes, oldContent(planned)) << where << " held target replaced";
                EXPECT_TRUE(atSource);
            }
            ++checked;
        }
        EXPECT_EQ(countTemporaries(dst_), 0u) << where;
        return checked;
    }

    size_t fileCount() const { return files_.size(); }

private:
    std::wstring source(const PlannedFile& planned) const { return src_ + L"\\" + planned.relative; }
    std::wstring target(const PlannedFile& planned) const { return dst_ + L"\\" + planned.relative; }
    static std::string oldContent(const PlannedFile& planned)
    {
        return "old target of " + std::string(planned.relative.begin(), planned.relative.end());
    }

    Hostile hostile_;
    TempFolder root_;
    std::unique_ptr<OtherVolumeFolder> other_;
    std::wstring src_, dst_;
    std::vector<PlannedFile> files_;
    std::vector<UniqueFile> held_;
};

struct Tally {
    const char* name;
    size_t points = 0;
    size_t files = 0;
    ~Tally() { std::cout << "[no-data-loss] " << name << ": " << points << " runs, " << files << " files checked\n"; }
};

// Points spread over 1..range, always including the first and the last.
std::vector<size_t> spread(size_t range, size_t count)
{
    std::vector<size_t> points;
    for (size_t i = 0; i < count; ++i) points.push_back(1 + (range - 1) * i / (count - 1));
    return points;
}

// Cancels at the k-th counter refresh after a file (between files).
void cancelBetweenFiles(TargetVolume volume, Hostile hostile, size_t count, Tally& tally)
{
    for (size_t k : spread(kFolders * kFilesPerFolder, count)) {
        Scenario scenario(volume, hostile);
        if (!scenario.valid()) GTEST_FAIL() << "no other volume here";
        scenario.build();
        EngineRun run(kOperationMove);
        scenario.move(run);
        size_t seen = 0;
        run.progress.onUpdate = [&](bool duringCopy) {
            if (!duringCopy && ++seen == k) run.settings.cancel = 1;
        };
        run.executing();
        EXPECT_EQ(run.settings.completedFiles + run.settings.failedFiles, k) << "no file starts after the cancel";
        const std::string where = "between files at " + std::to_string(k);
        tally.files += scenario.verify(where.c_str());
        ++tally.points;
    }
}

// Cancels at the k-th report of the copy progress routine, through a copy
// routine that reports chunks and honours the cancel as Windows' does.
void cancelInsideTheCopyRoutine(Hostile hostile, size_t count, Tally& tally)
{
    RoutineOverride routines({chunkedCopyFileEx, systemCopyRoutines().moveFileWithProgress});
    // 280 one-chunk files and 20 three-chunk files: 340 chunk reports.
    for (size_t k : spread(340, count)) {
        Scenario scenario(TargetVolume::Other, hostile);
        if (!scenario.valid()) GTEST_FAIL() << "no other volume here";
        scenario.build();
        EngineRun run(kOperationMove);
        scenario.move(run);
        size_t seen = 0;
        run.progress.onUpdate = [&](bool duringCopy) {
            if (duringCopy && ++seen == k) run.settings.cancel = 1;
        };
        run.executing();
        const std::string where = "inside the copy routine at " + std::to_string(k);
        tally.files += scenario.verify(where.c_str());
        ++tally.points;
    }
}

TEST(NoDataLoss, MoveWithinAVolumeCancelledBetweenFiles)
{
    Tally tally{"move within C:, cancelled between files"};
    cancelBetweenFiles(TargetVolume::Same, Hostile::None, 20, tally);
}

TEST(NoDataLoss, MoveToAnotherVolumeCancelledBetweenFiles)
{
    Tally tally{"move C: to Z:, cancelled between files"};
    cancelBetweenFiles(TargetVolume::Other, Hostile::None, 20, tally);
}

TEST(NoDataLoss, MoveToAnotherVolumeCancelledInsideTheCopyRoutine)
{
    Tally tally{"move C: to Z:, cancelled inside the progress routine"};
    cancelInsideTheCopyRoutine(Hostile::None, 24, tally);
}

TEST(NoDataLoss, MoveOntoReadOnlyTargetsCancelledAnywhere)
{
    Tally tally{"move onto read-only targets (protected and not)"};
    cancelBetweenFiles(TargetVolume::Same, Hostile::ReadOnlyUnprotected, 6, tally);
    cancelBetweenFiles(TargetVolume::Other, Hostile::ReadOnlyProtected, 6, tally);
    cancelInsideTheCopyRoutine(Hostile::ReadOnlyUnprotected, 6, tally);
    cancelInsideTheCopyRoutine(Hostile::ReadOnlyProtected, 6, tally);
}

TEST(NoDataLoss, MoveOntoTargetsHeldOpenCancelledAnywhere)
{
    Tally tally{"move onto targets held open by another handle"};
    cancelBetweenFiles(TargetVolume::Same, Hostile::Held, 6, tally);
    cancelBetweenFiles(TargetVolume::Other, Hostile::Held, 6, tally);
    cancelInsideTheCopyRoutine(Hostile::Held, 8, tally);
}

TEST(NoDataLoss, MovesRunToTheEndMoveEverythingOrReportIt)
{
    // The uncancelled runs of each kind, as the base line of the above.
    Tally tally{"uncancelled moves"};
    for (auto volume : {TargetVolume::Same, TargetVolume::Other}) {
        for (auto hostile : {Hostile::None, Hostile::ReadOnlyUnprotected, Hostile::ReadOnlyProtected, Hostile::Held}) {
            Scenario scenario(volume, hostile);
            if (!scenario.valid()) continue;
            scenario.build();
            EngineRun run(kOperationMove);
            scenario.move(run);
            run.executing();
            const size_t refused = (hostile == Hostile::ReadOnlyProtected || hostile == Hostile::Held)
                                       ? scenario.fileCount() / 4
                                       : 0;
            EXPECT_EQ(run.settings.failedFiles, refused);
            EXPECT_EQ(run.settings.completedFiles, scenario.fileCount() - refused);
            EXPECT_EQ(run.settings.doneBytes, run.settings.totalBytes);
            tally.files += scenario.verify("uncancelled");
            ++tally.points;
        }
    }
}

TEST(NoDataLoss, MovesCancelledAtRandomMomentsFromAnotherThread)
{
    // The user interface sets the flag while the worker runs, with the
    // platform's own copy and move routines.
    Tally tally{"moves cancelled at random moments from another thread"};
    std::mt19937 random(20240607u);
    for (auto volume : {TargetVolume::Same, TargetVolume::Other}) {
        // How long a whole executing pass takes here.
        double full;
        {
            Scenario scenario(volume, Hostile::None);
            if (!scenario.valid()) continue;
            scenario.build();
            EngineRun run(kOperationMove);
            scenario.move(run);
            const auto start = std::chrono::steady_clock::now();
            run.executing();
            full = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
            tally.files += scenario.verify("timed");
        }
        for (int point = 0; point < 10; ++point) {
            Scenario scenario(volume, point % 2 ? Hostile::ReadOnlyUnprotected : Hostile::None);
            scenario.build();
            EngineRun run(kOperationMove);
            scenario.move(run);
            const auto delay = std::chrono::microseconds(
                static_cast<long long>(std::uniform_real_distribution<double>(0.0, full)(random)));
            std::thread worker([&] { run.executing(); });
            std::this_thread::sleep_for(delay);
            run.settings.cancel = 1;
            worker.join();
            const std::string where = "random cancel after " + std::to_string(delay.count()) + " us";
            tally.files += scenario.verify(where.c_str());
            ++tally.points;
        }
    }
}

} // namespace
