// The log sorting engine on temporary folders: which file ends up where, with which bytes,
// for logs of both forms, hostile names, taken destinations, folders that refuse writing,
// another file system, and runs killed at every single step.
#include "logtool/logsort.h"
#include "logtool_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace zp::logsort;
using zp::test::LogKind;
using zp::test::TestLog;
using zp::test::Tree;

constexpr const char* kNoName = "(名前なし)";

struct Extra {
    std::string path; // UTF-8, relative
    std::string bytes;
};

// Where a file of the end state came from: the file of that path at the start.
struct Placed {
    std::string path;
    std::string from;
};

struct SortCase {
    const char* what;
    std::vector<TestLog> logs;
    std::vector<Extra> extras;
    std::vector<Placed> expected; // every file of the end state
    int filed, left, withoutRecipients;
};

void PrintTo(const SortCase& c, std::ostream* os) {
    *os << c.what;
}

Report sortFolder(const fs::path& dir, const Progress& progress = {}) {
    Plan plan;
    std::string error;
    EXPECT_EQ(makePlan(dir, plan, error), PlanError::None) << error;
    return carryOutPlan(plan, progress);
}

Report previewFolder(const fs::path& dir) {
    Plan plan;
    std::string error;
    EXPECT_EQ(makePlan(dir, plan, error), PlanError::None) << error;
    return previewPlan(plan);
}

void setUp(const fs::path& dir, const SortCase& c) {
    for (const TestLog& l : c.logs)
        writeLog(dir, l);
    for (const Extra& e : c.extras) {
        if (e.path.back() == '/')
            fs::create_directories(dir / e.path);
        else
            zp::test::writeFile(dir / e.path, e.bytes);
    }
}

// The files of `before` at their new places; folders are left out of the comparison.
Tree expectedTree(const Tree& before, const std::vector<Placed>& placed) {
    Tree t;
    for (const Placed& p : placed) {
        EXPECT_TRUE(before.count(p.from)) << p.from;
        t[p.path] = before.count(p.from) ? before.at(p.from) : "";
    }
    return t;
}

Tree filesOnly(const Tree& t) {
    Tree out;
    for (const auto& [path, bytes] : t)
        if (path.back() != '/')
            out[path] = bytes;
    return out;
}

std::vector<std::pair<StepKind, std::string>> stepList(const Report& r) {
    std::vector<std::pair<StepKind, std::string>> out;
    for (const Step& s : r.steps)
        out.emplace_back(s.kind, s.source.string() + ">" + s.destination.string());
    return out;
}

class Sorting : public zp::test::TempFolder, public ::testing::WithParamInterface<SortCase> {};

TEST_P(Sorting, FilesEveryLogWhereItBelongsAndLosesNothing) {
    const SortCase& c = GetParam();
    setUp(m_dir, c);
    const Tree before = zp::test::snapshot(m_dir);

    const Report foretold = previewFolder(m_dir);
    EXPECT_EQ(zp::test::snapshot(m_dir), before) << "the preview changed something";

    const Report done = sortFolder(m_dir);
    EXPECT_EQ(filesOnly(zp::test::snapshot(m_dir)), expectedTree(before, c.expected));
    EXPECT_EQ(done.logsFiled, c.filed);
    EXPECT_EQ(done.logsLeft, c.left);
    EXPECT_EQ(done.logsWithoutRecipients, c.withoutRecipients);
    EXPECT_EQ(stepList(foretold), stepList(done)) << "the preview foretold another run";

    // A second run finds nothing more to do and changes nothing.
    const Tree after = zp::test::snapshot(m_dir);
    const Report again = sortFolder(m_dir);
    EXPECT_EQ(zp::test::snapshot(m_dir), after);
    EXPECT_EQ(again.count(StepKind::Copy) + again.count(StepKind::Move), 0);
}

TestLog textLog(const std::string& base, std::vector<std::string> to, bool picture = false) {
    return {base, LogKind::Text, std::move(to), picture};
}
TestLog htmlLog(const std::string& base, std::vector<std::string> to, bool picture = false) {
    return {base, LogKind::Html, std::move(to), picture};
}

const std::string kNo = kNoName;

INSTANTIATE_TEST_SUITE_P(
    Table, Sorting,
    ::testing::Values(
        SortCase{"text log, two named recipients, with picture",
                 {textLog("t1", {"A (a@x.jp)", "B (b@x.jp)"}, true)},
                 {},
                 {{"A/t1.txt", "t1.txt"},
                  {"A/t1.jpg", "t1.jpg"},
                  {"B/t1.txt", "t1.txt"},
                  {"B/t1.jpg", "t1.jpg"}},
                 1,
                 0,
                 0},
        SortCase{"one recipient without a name, no picture",
                 {textLog("t1", {"a@x.jp"})},
                 {},
                 {{kNo + "/t1.txt", "t1.txt"}},
                 1,
                 0,
                 0},
        SortCase{"html log, named and unnamed, Japanese name, with picture",
                 {htmlLog("h1", {"山田 太郎 (y@x.jp)", "b@x.jp"}, true)},
                 {},
                 {{"山田 太郎/h1.html", "h1.html"},
                  {"山田 太郎/h1.jpg", "h1.jpg"},
                  {kNo + "/h1.html", "h1.html"},
                  {kNo + "/h1.jpg", "h1.jpg"}},
                 1,
                 0,
                 0},
        SortCase{"header followed directly by another marker, and files that are no logs",
                 {textLog("t1", {})},
                 {{"notes.txt", "no log at all"},
                  {"readme.md", "【送信先】\r\na@x.jp\r\n"},
                  {"lonely.jpg", "a picture without its log"},
                  {".hidden.txt", zp::test::sjis("【送信先】\r\nA (a@x.jp)\r\n")},
                  {"folder.txt/", ""}},
                 {{"t1.txt", "t1.txt"},
                  {"notes.txt", "notes.txt"},
                  {"readme.md", "readme.md"},
                  {"lonely.jpg", "lonely.jpg"},
                  {".hidden.txt", ".hidden.txt"}},
                 0,
                 0,
                 2},
        SortCase{"hostile names stay, the good recipient gets a copy, the log stays",
                 {textLog("t1",
                          {".. (a@x.jp)", "../../x (b@x.jp)", ". (c@x.jp)", "a/b (d@x.jp)",
                           "G (g@x.jp)"},
                          true)},
                 {},
                 {{"t1.txt", "t1.txt"},
                  {"t1.jpg", "t1.jpg"},
                  {"G/t1.txt", "t1.txt"},
                  {"G/t1.jpg", "t1.jpg"}},
                 0,
                 1,
                 0},
        SortCase{"one folder for recipients of one name",
                 {textLog("t1", {"A (a@x.jp)", "B (b@x.jp)", "A (c@x.jp)"}, true)},
                 {},
                 {{"A/t1.txt", "t1.txt"},
                  {"A/t1.jpg", "t1.jpg"},
                  {"B/t1.txt", "t1.txt"},
                  {"B/t1.jpg", "t1.jpg"}},
                 1,
                 0,
                 0},
        SortCase{"an identical file already there counts as done",
                 {textLog("t1", {"A (a@x.jp)", "B (b@x.jp)"}, true)},
                 {{"A/t1.txt", zp::test::logText(textLog("t1", {"A (a@x.jp)", "B (b@x.jp)"}))},
                  {"B/t1.jpg", zp::test::pictureBytes("t1")}},
                 {{"A/t1.txt", "A/t1.txt"},
                  {"A/t1.jpg", "t1.jpg"},
                  {"B/t1.txt", "t1.txt"},
                  {"B/t1.jpg", "B/t1.jpg"}},
                 1,
                 0,
                 0},
        SortCase{"a different log at the last recipient: conflict, log and picture stay",
                 {textLog("t1", {"A (a@x.jp)", "B (b@x.jp)"}, true)},
                 {{"B/t1.txt", "another log"}},
                 {{"t1.txt", "t1.txt"},
                  {"t1.jpg", "t1.jpg"},
                  {"A/t1.txt", "t1.txt"},
                  {"A/t1.jpg", "t1.jpg"},
                  {"B/t1.txt", "B/t1.txt"}},
                 0,
                 1,
                 0},
        SortCase{"a different log at an earlier recipient: the log stays, the last gets a copy",
                 {textLog("t1", {"A (a@x.jp)", "B (b@x.jp)"}, true)},
                 {{"A/t1.txt", "another log"}},
                 {{"t1.txt", "t1.txt"},
                  {"t1.jpg", "t1.jpg"},
                  {"A/t1.txt", "A/t1.txt"},
                  {"B/t1.txt", "t1.txt"},
                  {"B/t1.jpg", "t1.jpg"}},
                 0,
                 1,
                 0},
        SortCase{"a different picture at the last recipient: the picture cannot follow",
                 {textLog("t1", {"B (b@x.jp)"}, true)},
                 {{"B/t1.jpg", "another picture"}},
                 {{"t1.txt", "t1.txt"},
                  {"t1.jpg", "t1.jpg"},
                  {"B/t1.txt", "t1.txt"},
                  {"B/t1.jpg", "B/t1.jpg"}},
                 0,
                 1,
                 0},
        SortCase{"a recipient's name taken by a file",
                 {textLog("t1", {"A (a@x.jp)", "B (b@x.jp)"})},
                 {{"A", "a file named A"}},
                 {{"t1.txt", "t1.txt"}, {"A", "A"}, {"B/t1.txt", "t1.txt"}},
                 0,
                 1,
                 0},
        SortCase{"html and text log of one second: the picture goes with the html log",
                 {htmlLog("s", {"A (a@x.jp)"}, true), textLog("s", {"B (b@x.jp)"})},
                 {},
                 {{"A/s.html", "s.html"}, {"A/s.jpg", "s.jpg"}, {"B/s.txt", "s.txt"}},
                 2,
                 0,
                 0},
        SortCase{"upper-case suffix, several logs",
                 {textLog("u1", {"A (a@x.jp)"}), htmlLog("u2", {"A (a@x.jp)"}, true)},
                 {{"U3.TXT", zp::test::logText(textLog("U3", {"C (c@x.jp)"}))}},
                 {{"A/u1.txt", "u1.txt"},
                  {"A/u2.html", "u2.html"},
                  {"A/u2.jpg", "u2.jpg"},
                  {"C/U3.TXT", "U3.TXT"}},
                 3,
                 0,
                 0}));

// --- folders that refuse writing ---------------------------------------------------------

// Makes a folder refuse new and removed entries, for root too (the immutable flag);
// false when the file system cannot.
bool setImmutable(const fs::path& dir, bool on) {
    bool ok = true;
    if (on)
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec,
                        fs::perm_options::replace);
    if (geteuid() == 0) {
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
    }
    if (!on)
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace);
    return ok;
}

class ReadOnly : public zp::test::TempFolder {
protected:
    void TearDown() override {
        for (const fs::path& d : m_locked)
            setImmutable(d, false);
        TempFolder::TearDown();
    }
    bool lock(const fs::path& d) {
        m_locked.push_back(d);
        return setImmutable(d, true);
    }
    std::vector<fs::path> m_locked;
};

TEST_F(ReadOnly, ALockedLogFolderChangesNothingAndNamesEachFolderOnce) {
    writeLog(m_dir, textLog("t1", {"A (a@x.jp)", "B (b@x.jp)"}, true));
    writeLog(m_dir, htmlLog("t2", {"A (a@x.jp)"}));
    const Tree before = zp::test::snapshot(m_dir);
    if (!lock(m_dir))
        GTEST_SKIP() << "this file system has no immutable flag";
    const Report r = sortFolder(m_dir);
    EXPECT_EQ(zp::test::snapshot(m_dir), before);
    EXPECT_EQ(r.logsLeft, 2);
    EXPECT_EQ(r.logsFiled, 0);
    EXPECT_EQ(r.foldersNotCreated, (std::vector<fs::path>{"A", "B"}));
}

TEST_F(ReadOnly, ALockedRecipientFolderKeepsTheLogButServesTheOthers) {
    writeLog(m_dir, textLog("t1", {"A (a@x.jp)", "B (b@x.jp)"}, true));
    fs::create_directory(m_dir / "A");
    const Tree before = zp::test::snapshot(m_dir);
    if (!lock(m_dir / "A"))
        GTEST_SKIP() << "this file system has no immutable flag";
    const Report r = sortFolder(m_dir);
    EXPECT_EQ(filesOnly(zp::test::snapshot(m_dir)), expectedTree(before, {{"t1.txt", "t1.txt"},
                                                                          {"t1.jpg", "t1.jpg"},
                                                                          {"B/t1.txt", "t1.txt"},
                                                                          {"B/t1.jpg", "t1.jpg"}}));
    EXPECT_EQ(r.logsLeft, 1);
    EXPECT_EQ(r.count(StepKind::Fail), 1);
    for (const auto& e : fs::directory_iterator(m_dir / "B"))
        EXPECT_FALSE(isTemporaryName(e.path().filename())) << e.path();
}

// --- another file system -----------------------------------------------------------------

TEST_F(Sorting, AMoveOntoAnotherFileSystemCopiesAndThenRemoves) {
    writeLog(m_dir, textLog("t1", {"A (a@x.jp)", "B (b@x.jp)"}, true));
    fs::create_directory(m_dir / "B");
    if (::mount("zp_logs", (m_dir / "B").c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const Tree before = zp::test::snapshot(m_dir);
    const Report r = sortFolder(m_dir);
    const Tree after = filesOnly(zp::test::snapshot(m_dir));
    ::umount2((m_dir / "B").c_str(), MNT_DETACH);
    EXPECT_EQ(after, expectedTree(before, {{"A/t1.txt", "t1.txt"},
                                           {"A/t1.jpg", "t1.jpg"},
                                           {"B/t1.txt", "t1.txt"},
                                           {"B/t1.jpg", "t1.jpg"}}));
    EXPECT_EQ(r.logsFiled, 1);
}

// --- killed runs -------------------------------------------------------------------------

// A folder with everything at once: pictures large enough to be copied in several pieces,
// a conflict, a refused name, a log without recipients.
void makeMixedFolder(const fs::path& dir) {
    TestLog big = htmlLog("h1", {"A (a@x.jp)", "b@x.jp", "C (c@x.jp)"}, true);
    writeLog(dir, big);
    zp::test::writeFile(dir / "h1.jpg", zp::test::pictureBytes("h1", 150 * 1024));
    writeLog(dir, textLog("t1", {"A (a@x.jp)", "C (c@x.jp)"}, true));
    writeLog(dir, textLog("t2", {"C (c@x.jp)", ".. (d@x.jp)"}));
    writeLog(dir, textLog("t3", {"A (a@x.jp)", "D (d@x.jp)"}));
    zp::test::writeFile(dir / "D/t3.txt", "another t3");
    writeLog(dir, textLog("t4", {}));
}

bool isTemporary(const std::string& path) {
    return isTemporaryName(fs::path(path).filename());
}

// How a run is interrupted: killed, or cancelled through its flag, at every single step.
struct Interruption {
    const char* what;
    std::size_t batchLogs;
    bool cancel;
};

void PrintTo(const Interruption& c, std::ostream* os) {
    *os << c.what;
}

// As the run's journal tells it: a batch's copies are durable (their data synced) before they
// get their names, and the new names are durable before any source leaves the send log
// folder. Vacuous runs do not count: copies were named and sources removed.
void expectDurableOrder(const std::vector<FileEvent>& journal, const fs::path& dir) {
    std::set<fs::path> unsyncedData; // temporary files written since the last sync
    bool unsyncedNames = false;
    int namedCopies = 0, removals = 0;
    for (const FileEvent& e : journal) {
        switch (e.step) {
        case FileStep::Write:
            unsyncedData.insert(e.path);
            break;
        case FileStep::Sync:
            if (fs::is_directory(e.path)) {
                unsyncedData.clear();
                unsyncedNames = false;
            } else {
                unsyncedData.erase(e.path);
            }
            break;
        case FileStep::Link:
        case FileStep::Rename:
            if (isTemporaryName(e.path.filename())) {
                EXPECT_EQ(unsyncedData.count(e.path), 0u)
                    << e.to << " named before its data was synced";
                ++namedCopies;
            }
            unsyncedNames = true;
            break;
        case FileStep::Unlink:
            if (e.path.parent_path() == dir && !isTemporaryName(e.path.filename())) {
                EXPECT_FALSE(unsyncedNames)
                    << e.path << " removed before the new names were synced";
                ++removals;
            }
            break;
        }
    }
    EXPECT_GT(namedCopies, 0);
    EXPECT_GT(removals, 0);
}

class Interrupted : public zp::test::TempFolder,
                    public ::testing::WithParamInterface<Interruption> {
protected:
    Report run(const fs::path& dir, const Progress& progress,
               const std::atomic<bool>* cancel = nullptr,
               std::vector<std::pair<int, int>>* counts = nullptr,
               std::vector<FileEvent>* journal = nullptr) {
        Plan plan;
        std::string error;
        EXPECT_EQ(makePlan(dir, plan, error), PlanError::None) << error;
        RunControl control;
        control.progress = progress;
        if (journal)
            control.journal = [journal](const FileEvent& e) { journal->push_back(e); };
        control.batchLogs = GetParam().batchLogs;
        control.cancel = cancel;
        if (counts)
            control.logsDone = [counts](int done, int planned) {
                counts->emplace_back(done, planned);
            };
        return carryOutPlan(plan, control);
    }
};

TEST_P(Interrupted, LosesNothingAndTheNextRunCompletesIt) {
    // The end state of one run that is left alone.
    const fs::path reference = m_dir / "reference";
    makeMixedFolder(reference);
    const std::vector<std::string> original = zp::test::contents(zp::test::snapshot(reference));
    std::vector<FileEvent> journal;
    std::vector<std::pair<int, int>> counts;
    run(reference, {}, nullptr, &counts, &journal);
    expectDurableOrder(journal, reference);
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), std::make_pair(5, 5)) << "logs done of logs planned";
    const Tree wanted = zp::test::snapshot(reference);

    const fs::path dir = m_dir / "stopped";
    int stopAt = 1;
    for (;; ++stopAt) {
        fs::remove_all(dir);
        makeMixedFolder(dir);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int steps = 0;
            std::atomic<bool> cancel{false};
            const Report r = run(
                dir,
                [&](std::string_view) {
                    if (++steps != stopAt)
                        return;
                    if (!GetParam().cancel)
                        ::raise(SIGKILL);
                    cancel = true;
                },
                &cancel);
            ::_exit(r.cancelled ? 3 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const bool stopped = WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 3);

        // Nothing lost, nothing altered: every original content is still somewhere, and
        // every file but an unfinished temporary one holds an original content.
        const Tree mid = zp::test::snapshot(dir);
        std::vector<std::string> seen;
        for (const auto& [path, bytes] : mid)
            if (path.back() != '/' && !isTemporary(path)) {
                EXPECT_TRUE(std::binary_search(original.begin(), original.end(), bytes))
                    << "stopped at " << stopAt << ": " << path << " holds bytes never written";
                seen.push_back(bytes);
            }
        for (const std::string& bytes : original)
            EXPECT_NE(std::find(seen.begin(), seen.end(), bytes), seen.end())
                << "stopped at " << stopAt << ": a file was lost";
        for (const auto& [path, bytes] : mid) {
            EXPECT_FALSE(GetParam().cancel && isTemporary(path)) << "a cancelled run left " << path;
        }

        run(dir, {});
        EXPECT_EQ(zp::test::snapshot(dir), wanted) << "stopped at " << stopAt;
        if (!stopped)
            break;
        ASSERT_LT(stopAt, 500) << "the run never ended";
    }
    EXPECT_GT(stopAt, 40) << "fewer steps than the folder needs: the stops missed the work";
}

INSTANTIATE_TEST_SUITE_P(Table, Interrupted,
                         ::testing::Values(Interruption{"KilledWithEveryLogSyncedAlone", 1, false},
                                           Interruption{"KilledWithTheWholeFolderInOneSyncedBatch",
                                                        256, false},
                                           Interruption{"CancelledWithTwoLogsABatch", 2, true}),
                         [](const auto& info) { return std::string(info.param.what); });

} // namespace
