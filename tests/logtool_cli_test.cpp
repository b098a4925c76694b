// zoripost-sortlogs run as a process: its plan, its exit statuses, and a dry run that
// leaves every byte as it was.
#include "logtool_support.h"
#include "support/command.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <cstdio>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

using zp::test::PrintTo;

namespace fs = std::filesystem;
using zp::test::LogKind;
using zp::test::TestLog;

using ProcessRun = zp::test::CommandRun;

// Its standard output and standard error together.
ProcessRun sortlogs(const std::vector<std::string>& args) {
    std::string command = ZP_SORTLOGS_CLI;
    for (const std::string& a : args)
        command += " " + zp::test::shellQuote(a);
    return zp::test::runShell(command + " 2>&1");
}

class SortLogsCli : public zp::test::TempFolder {
protected:
    std::string dir() const { return m_dir.string(); }
    void addLogs() {
        writeLog(m_dir,
                 TestLog{"2011-03-04_05-06-07", LogKind::Text, {"A (a@x.jp)", "B (b@x.jp)"}, true});
        writeLog(m_dir, TestLog{"2011-03-04_05-06-08", LogKind::Html, {"b@x.jp"}, true});
        writeLog(m_dir, TestLog{"2011-03-04_05-06-09", LogKind::Text, {}});
    }
};

TEST_F(SortLogsCli, DryRunPrintsThePlanAndChangesNothing) {
    addLogs();
    writeLog(m_dir, TestLog{"2011-03-04_05-06-10", LogKind::Text, {"A (a@x.jp)"}});
    zp::test::writeFile(m_dir / "A/2011-03-04_05-06-10.txt", "another log");
    writeLog(m_dir, TestLog{"2011-03-04_05-06-11", LogKind::Text, {"../x (a@x.jp)"}});
    const zp::test::Tree before = zp::test::snapshot(m_dir);
    const ProcessRun r = sortlogs({"--dry-run", dir()});
    EXPECT_EQ(zp::test::snapshot(m_dir), before);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.output,
              "move 2011-03-04_05-06-08.html -> (名前なし)/2011-03-04_05-06-08.html\n"
              "move 2011-03-04_05-06-08.jpg -> (名前なし)/2011-03-04_05-06-08.jpg\n"
              "copy 2011-03-04_05-06-07.txt -> A/2011-03-04_05-06-07.txt\n"
              "copy 2011-03-04_05-06-07.jpg -> A/2011-03-04_05-06-07.jpg\n"
              "move 2011-03-04_05-06-07.txt -> B/2011-03-04_05-06-07.txt\n"
              "move 2011-03-04_05-06-07.jpg -> B/2011-03-04_05-06-07.jpg\n"
              "skip 2011-03-04_05-06-09.txt (no recipients)\n"
              "conflict 2011-03-04_05-06-10.txt -> A/2011-03-04_05-06-10.txt (a different file of "
              "that name is there)\n"
              "refuse 2011-03-04_05-06-11.txt (recipient \"../x\": holds a path separator or a "
              "character file names cannot hold)\n"
              "dry run (nothing changed): 2 filed, 2 left in place, 1 without recipients (2 "
              "copied, 4 moved, 0 already there, 1 conflicts, 1 refused, 0 failed)\n");
}

struct StatusCase {
    const char* what;
    std::vector<std::string> args; // "@" stands for the temporary folder
    bool logs;                     // the folder holds logs that can all be filed
    const char* extra;             // one more file, relative ("" for none)
    int status;
    bool changes;
};

class SortLogsStatus : public SortLogsCli, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(SortLogsStatus, ExitStatusTellsWhatHappened) {
    const StatusCase& c = GetParam();
    if (c.logs)
        addLogs();
    if (*c.extra)
        zp::test::writeFile(m_dir / c.extra, "x");
    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(a == "@"          ? dir()
                       : a == "@missing" ? dir() + "/missing"
                       : a == "@file"    ? dir() + "/" + c.extra
                                         : a);
    const zp::test::Tree before = zp::test::snapshot(m_dir);
    const ProcessRun r = sortlogs(args);
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.output;
    EXPECT_EQ(zp::test::snapshot(m_dir) != before, c.changes) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SortLogsStatus,
    ::testing::Values(StatusCase{"no folder", {}, true, "", 2, false},
                      StatusCase{"unknown option", {"--force", "@"}, true, "", 2, false},
                      StatusCase{"two folders", {"@", "@"}, true, "", 2, false},
                      StatusCase{"missing folder", {"@missing"}, false, "", 2, false},
                      StatusCase{"a file for the folder", {"@file"}, true, "f", 2, false},
                      StatusCase{"an empty name for the folder", {""}, true, "", 2, false},
                      StatusCase{"nothing to do", {"@"}, false, "", 0, false},
                      StatusCase{"everything filed", {"--verbose", "@"}, true, "", 0, true},
                      StatusCase{"a conflict", {"@"}, true, "B/2011-03-04_05-06-07.jpg", 1, true},
                      StatusCase{"help", {"--help"}, false, "", 0, false},
                      StatusCase{"-- ends the options", {"--", "@"}, true, "", 0, true}));

TEST_F(SortLogsCli, ARunSaysWhatItDidAndRemovesLeftoverTemporaryFiles) {
    addLogs();
    // One of this version's names, one an earlier version gave, and none of ours.
    zp::test::writeFile(m_dir / "A/.zoripost-sort.q7Zk0a", "half a copy");
    zp::test::writeFile(m_dir / "A/.zoripost-sort-99-1.tmp", "half a copy");
    zp::test::writeFile(m_dir / "A/.zoripost-sort.q7Zk0", "the user's");
    const ProcessRun r = sortlogs({dir()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(fs::exists(m_dir / "A/.zoripost-sort.q7Zk0a"));
    EXPECT_FALSE(fs::exists(m_dir / "A/.zoripost-sort-99-1.tmp"));
    EXPECT_TRUE(fs::exists(m_dir / "A/.zoripost-sort.q7Zk0"));
    EXPECT_NE(r.output.find("clean A/.zoripost-sort.q7Zk0a (left over by an interrupted run)\n"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("clean A/.zoripost-sort-99-1.tmp (left over by an interrupted run)\n"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("move 2011-03-04_05-06-07.txt -> B/2011-03-04_05-06-07.txt\n"),
              std::string::npos);
    EXPECT_NE(r.output.find("2 filed, 0 left in place, 1 without recipients (2 copied, 4 moved, "
                            "0 already there, 0 conflicts, 0 refused, 0 failed)\n"),
              std::string::npos)
        << r.output;
    EXPECT_TRUE(fs::exists(m_dir / "B/2011-03-04_05-06-07.jpg"));
    EXPECT_TRUE(fs::exists(m_dir / "(名前なし)/2011-03-04_05-06-08.html"));
}

} // namespace
