// The kill test: the real Sorvane.exe, started with a move as the shell
// extension starts it, its operation dialog's Start pressed, and then ended
// with TerminateProcess at random moments in the middle of the move (some
// files moved, some not: the test checks that), within one volume and
// across volumes, some of them while a temporary copy exists. After every
// kill each file is whole at its source or at its target; the next run that
// goes to the end leaves no temporary behind and moves everything.
#include <gtest/gtest.h>

#include "Driver.h"
#include "EngineFakes.h"
#include "common/HandOff.h"
#include "common/Raii.h"
#include "TestSupport.h"

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <iostream>
#include <random>
#include <set>

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr DWORD kWait = 30000;
constexpr int kFolders = 6;
constexpr int kFilesPerFolder = 50;
constexpr size_t kLargeSize = 40u << 20; // written long enough to be caught as a temporary

// Wakes a watch beside a running move when a name changes below a folder,
// or after a few milliseconds at the latest: the watch looks again at once
// after each change without keeping a core busy while nothing changes.
class NameChanges {
public:
    explicit NameChanges(const std::wstring& folder)
        : handle_(::FindFirstChangeNotificationW(folder.c_str(), TRUE,
                                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME))
    {
    }
    ~NameChanges()
    {
        if (handle_ != INVALID_HANDLE_VALUE) ::FindCloseChangeNotification(handle_);
    }
    NameChanges(const NameChanges&) = delete;
    NameChanges& operator=(const NameChanges&) = delete;

    void wait(DWORD ms)
    {
        if (handle_ == INVALID_HANDLE_VALUE) {
            ::Sleep(ms);
        } else if (::WaitForSingleObject(handle_, ms) == WAIT_OBJECT_0) {
            ::FindNextChangeNotification(handle_);
        }
    }

private:
    HANDLE handle_;
};

struct Planned {
    std::wstring relative;
    std::string bytes;
};

// A started program that the test may end at any moment.
class Program {
public:
    ~Program()
    {
        if (info_.hProcess) {
            ::TerminateProcess(info_.hProcess, 99);
            ::WaitForSingleObject(info_.hProcess, 5000);
            ::CloseHandle(info_.hProcess);
            ::CloseHandle(info_.hThread);
        }
    }
    bool start(const std::wstring& program, const std::wstring& arguments)
    {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        return ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &info_) != 0;
    }
    void kill()
    {
        ::TerminateProcess(info_.hProcess, 9);
        ::WaitForSingleObject(info_.hProcess, kWait);
    }
    DWORD wait(DWORD ms)
    {
        if (::WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    DWORD id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_ = {};
};

size_t temporariesIn(const std::wstring& folder) { return countTemporaries(folder); }

// Whether the file holds exactly `expected`: read piece by piece into one
// buffer and compared as it comes, for files of tens of megabytes that are
// checked after every kill.
bool holds(const std::wstring& path, const std::string& expected)
{
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    static std::vector<char> buffer(1u << 20);
    size_t offset = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
        if (got == 0) return offset == expected.size();
        if (got > expected.size() - offset || std::memcmp(buffer.data(), expected.data() + offset, got) != 0) return false;
        offset += got;
    }
}

// The names of the temporary copies below a folder.
void collectTemporaries(const std::wstring& folder, std::set<std::wstring>& out)
{
    for (const std::wstring& name : listFolder(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) collectTemporaries(path, out);
        else if (name.rfind(L"~sorvane-", 0) == 0) out.insert(path);
    }
}

class KillRound {
public:
    KillRound(const std::wstring& source, const std::wstring& target, uint32_t seed)
        : source_(source), target_(target), random_(seed)
    {
    }

    void build()
    {
        ASSERT_TRUE(::CreateDirectoryW(source_.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(target_.c_str(), nullptr));
        for (int f = 0; f < kFolders; ++f) {
            const std::wstring folder = L"dir" + std::to_wstring(f);
            ASSERT_TRUE(::CreateDirectoryW((source_ + L"\\" + folder).c_str(), nullptr));
            for (int i = 0; i < kFilesPerFolder; ++i) {
                Planned planned;
                planned.relative = folder + L"\\file" + std::to_wstring(i) + L".dat";
                // Two large files, early in two folders, amid small ones.
                const bool large = (f == 1 || f == 4) && i == 3;
                planned.bytes = contentFor(planned.relative, large ? kLargeSize : 200 + (i * 37 + f * 11) % 3000);
                ASSERT_TRUE(writeBytes(source_ + L"\\" + planned.relative, planned.bytes));
                files_.push_back(planned);
            }
        }
    }

    // How many files are at their source.
    size_t atSource() const
    {
        size_t n = 0;
        for (const auto& planned : files_) n += exists(source_ + L"\\" + planned.relative);
        return n;
    }

    // How many files the source folders list: the same as atSource() but
    // quicker, for the watch beside a running move.
    size_t listedAtSource() const
    {
        size_t n = 0;
        for (int f = 0; f < kFolders; ++f) n += listFolder(source_ + L"\\dir" + std::to_wstring(f)).size();
        return n;
    }

    // A large file still to be moved.
    bool largeLeft() const
    {
        for (const auto& planned : files_) {
            if (planned.bytes.size() == kLargeSize && exists(source_ + L"\\" + planned.relative)) return true;
        }
        return false;
    }

    // Every file whole at its source or at its target (at both only after a
    // cross-volume copy whose source had not gone yet); never cut short
    // under its own name.
    void verifyWhole(const char* where) const
    {
        for (const auto& planned : files_) {
            const std::wstring from = source_ + L"\\" + planned.relative;
            const std::wstring to = target_ + L"\\" + planned.relative;
            const bool atSource = exists(from);
            const bool atTarget = exists(to);
            ASSERT_TRUE(atSource || atTarget) << where << ": lost " << std::string(from.begin(), from.end());
            if (atSource) {
                ASSERT_TRUE(holds(from, planned.bytes)) << where << ": source not whole";
            }
            if (atTarget) {
                ASSERT_TRUE(holds(to, planned.bytes)) << where << ": target not whole";
            }
        }
    }

    // The move of every folder, as the extension starts it (a right-drag
    // onto the target gives the target on the command line).
    std::wstring command() const
    {
        std::vector<std::wstring> paths;
        for (int f = 0; f < kFolders; ++f) paths.push_back(source_ + L"\\dir" + std::to_wstring(f));
        return handoff::buildCommandText(handoff::Operation::Move, target_.c_str(), paths);
    }

    // Starts a run and presses Start; the program, its dialog's window.
    HWND startRun(Program& program) const
    {
        EXPECT_TRUE(program.start(e2e_exe(), command()));
        HWND dialog = e2e::waitForDialog(program.id(), e2e::kPatterns, kWait);
        EXPECT_NE(dialog, nullptr) << "the operation dialog did not open";
        if (!dialog) return nullptr;
        e2e::setControlText(dialog, e2e::kPatterns, L"*.*");
        e2e::press(dialog, e2e::kStart);
        return dialog;
    }

    // One run ended at a random moment in its middle. Returns whether the
    // kill landed mid-run; `temporary` tells whether a temporary copy was
    // left at that moment.
    bool killMidRun(bool waitForTemporary, bool& temporary)
    {
        temporary = false;
        const size_t before = atSource();
        std::set<std::wstring> earlier;
        collectTemporaries(target_, earlier);
        if (before < 2) return false;
        // Kill once this run has completed k files, k within the first
        // three quarters of what is left (later the run may well finish
        // before the kill lands). A kill aimed at a temporary copy waits
        // for one of the large files instead, after at least one file has
        // moved.
        std::uniform_int_distribution<size_t> pick(1, std::max<size_t>(1, before * 3 / 4));
        waitForTemporary = waitForTemporary && largeLeft();
        const size_t k = waitForTemporary ? 1 : pick(random_);
        Program program;
        if (!startRun(program)) return false;
        // The files are counted as they leave their source folders, from
        // the moment Start is pressed. The progress dialog shows the count
        // only at its next refresh, and by then a move within one volume
        // (renames only) has often gone far past k or ended: a kill aimed
        // by it came too late more often than not, and cost a whole run.
        const DWORD start = ::GetTickCount();
        NameChanges sourceChanges(source_);
        while (::GetTickCount() - start <= kWait && program.wait(0) == STILL_ACTIVE && listedAtSource() + k > before) {
            sourceChanges.wait(5);
        }
        if (waitForTemporary) {
            // The next large copy in progress: kill while its temporary exists
            // (it is written for a good part of a second).
            NameChanges targetChanges(target_);
            const DWORD since = ::GetTickCount();
            while (::GetTickCount() - since < 5000 && program.wait(0) == STILL_ACTIVE &&
                   temporariesIn(target_ + L"\\dir1") + temporariesIn(target_ + L"\\dir4") == 0) {
                targetChanges.wait(2);
            }
        }
        program.kill();
        std::set<std::wstring> left;
        collectTemporaries(target_, left);
        for (const auto& name : left) temporary = temporary || earlier.count(name) == 0;
        const size_t after = atSource();
        if (std::getenv("SORVANE_KILL_TRACE")) {
            std::cout << "  run: " << before << " at source, kill after " << k << " completed, " << after
                      << " left, temporary " << temporary << ", " << (::GetTickCount() - start) << " ms\n";
        }
        return after < before && after > 0;
    }

    // A run to its end: no temporary left, every file at its target.
    void finish()
    {
        Program program;
        ASSERT_NE(startRun(program), nullptr);
        ASSERT_TRUE(e2e::finishProgressDialog(program.id(), 120000)) << "the last run did not end";
        ASSERT_EQ(program.wait(kWait), 0u);
        EXPECT_EQ(temporariesIn(target_), 0u) << "the next run leaves no temporary behind";
        EXPECT_EQ(atSource(), 0u);
        for (const auto& planned : files_) {
            ASSERT_TRUE(holds(target_ + L"\\" + planned.relative, planned.bytes)) << "moved whole";
        }
    }

    static std::wstring e2e_exe() { return distFolder() + L"Sorvane.exe"; }

private:
    std::wstring source_;
    std::wstring target_;
    std::mt19937 random_;
    std::vector<Planned> files_;
};

struct KillTally {
    const char* name;
    int kills = 0;
    int withTemporary = 0;
    int late = 0;
    ~KillTally()
    {
        std::cout << "[kill] " << name << ": " << kills << " kills mid-run (" << withTemporary
                  << " with a temporary copy left), " << late << " runs that ended before their kill\n";
    }
};

void killRounds(bool otherVolume, int wantedKills, int killsPerRound, uint32_t seed, KillTally& tally)
{
    std::mt19937 random(seed);
    for (int round = 0; tally.kills < wantedKills && round < 40; ++round) {
        TempFolder root;
        std::unique_ptr<OtherVolumeFolder> other;
        std::wstring target = root / L"dst";
        if (otherVolume) {
            other = std::make_unique<OtherVolumeFolder>();
            ASSERT_TRUE(other->valid()) << "Z:\\dev\\shm is not there: no other volume to move to";
            target = *other / L"dst";
        }
        KillRound kill(root / L"src", target, random());
        kill.build();
        if (::testing::Test::HasFatalFailure()) return;
        for (int i = 0; i < killsPerRound && tally.kills < wantedKills; ++i) {
            // With less than two files left no kill can land between moved
            // and unmoved ones: the round goes on to its last run.
            if (kill.atSource() < 2) break;
            bool temporary = false;
            // Across volumes, every other kill waits for a large copy.
            const bool waitForTemporary = otherVolume && i % 2 == 0;
            if (kill.killMidRun(waitForTemporary, temporary)) {
                ++tally.kills;
                tally.withTemporary += temporary;
            } else {
                ++tally.late;
            }
            const std::string where = std::string(tally.name) + ", kill " + std::to_string(tally.kills);
            kill.verifyWhole(where.c_str());
            if (::testing::Test::HasFatalFailure()) return;
        }
        kill.finish();
        if (::testing::Test::HasFatalFailure()) return;
    }
}

class Kill : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(exists(KillRound::e2e_exe())) << "build the program first"; }
};

TEST_F(Kill, MovesWithinOneVolumeKilledMidRunLoseNothing)
{
    KillTally tally{"move within C:"};
    killRounds(false, 26, 7, 4711u, tally);
    EXPECT_GE(tally.kills, 26);
}

TEST_F(Kill, MovesAcrossVolumesKilledMidRunLoseNothingAndLeaveNoTemporary)
{
    KillTally tally{"move from C: to Z:\\dev\\shm"};
    killRounds(true, 26, 7, 815u, tally);
    EXPECT_GE(tally.kills, 26);
    EXPECT_GE(tally.withTemporary, 3) << "some kills land while a temporary copy exists";
}

} // namespace
