// zoripost-sortlogs run as a process: its plan, its exit statuses, and a dry run that
// leaves every byte as it was.
#include "fileio/fileio.h"
#include "logtool_support.h"
#include "support/command.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Its standard output and standard error together, lines ending in LF (a Windows console
// program ends them in CR LF).
ProcessRun sortlogs(const std::vector<std::string>& args) {
    std::string command = ZP_SORTLOGS_CLI;
    for (const std::string& a : args)
        command += " " + zp::test::shellQuote(a);
    ProcessRun run = zp::test::runShell(command + " 2>&1");
    for (std::size_t at = run.output.find("\r\n"); at != std::string::npos;
         at = run.output.find("\r\n", at))
        run.output.erase(at, 1);
    return run;
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

// A send log folder whose name Windows would change or refuse unless the tool hands it to the
// system in the `\\?\` form: ending in a dot or a space, or more than 260 characters long
// with the files in it. The logs are written into a plain folder that is renamed to the row's
// name for the run and back for the check, so that only the tool meets the odd name.
struct OddFolderCase {
    const char* what;
    std::string name;
};

class SortLogsOddFolder : public SortLogsCli, public ::testing::WithParamInterface<OddFolderCase> {
protected:
    // The fixture's own rename, past the name rules of the C++ library of Windows.
    static bool rename(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
        return MoveFileExW(zp::fileio::win32Path(from).c_str(), zp::fileio::win32Path(to).c_str(),
                           0) != 0;
#else
        std::error_code ec;
        fs::rename(from, to, ec);
        return !ec;
#endif
    }
};

TEST_P(SortLogsOddFolder, SortsItUnderItsRealName) {
    const fs::path plain = m_dir / "logs";
    const fs::path odd = m_dir / GetParam().name;
    writeLog(plain,
             TestLog{"2011-03-04_05-06-07", LogKind::Text, {"A (a@x.jp)", "B (b@x.jp)"}, true});
    writeLog(plain, TestLog{"2011-03-04_05-06-08", LogKind::Html, {"b@x.jp"}, true});
    zp::test::writeFile(plain / "A/.zoripost-sort.q7Zk0a", "half a copy");
    ASSERT_TRUE(rename(plain, odd));
    // Run directly, not through a shell: the name reaches the tool exactly as given.
    const zp::test::ChildRun r =
        zp::test::runChild({ZP_SORTLOGS_CLI, odd.string()}, m_dir / "run.log", {});
    ASSERT_TRUE(rename(odd, plain));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("2 filed, 0 left in place, 0 without recipients (2 copied, 4 moved"),
              std::string::npos)
        << r.output;
    // As UTF-8 bytes: the C++ library of Windows gives a name's narrow form in the C locale.
    const auto utf8 = [](const std::u8string& text) {
        return std::string(text.begin(), text.end());
    };
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(plain))
        if (e.is_regular_file())
            files.push_back(utf8(fs::relative(e.path(), plain).generic_u8string()));
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{utf8(u8"(名前なし)/2011-03-04_05-06-08.html"),
                                        utf8(u8"(名前なし)/2011-03-04_05-06-08.jpg"),
                                        "A/2011-03-04_05-06-07.jpg", "A/2011-03-04_05-06-07.txt",
                                        "B/2011-03-04_05-06-07.jpg", "B/2011-03-04_05-06-07.txt"}));
    EXPECT_EQ(zp::test::readText(plain / "B/2011-03-04_05-06-07.jpg"),
              zp::test::pictureBytes("2011-03-04_05-06-07"));
}

INSTANTIATE_TEST_SUITE_P(Table, SortLogsOddFolder,
                         ::testing::Values(OddFolderCase{"a name ending in a dot", "logs."},
                                           OddFolderCase{"a name ending in a space", "logs "},
                                           OddFolderCase{"a path longer than 260 characters",
                                                         "logs_" + std::string(240, 'l')}),
                         [](const auto& info) {
                             return std::string(info.index == 0   ? "NameEndingInADot"
                                                : info.index == 1 ? "NameEndingInASpace"
                                                                  : "PathLongerThan260Characters");
                         });

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
    EXPECT_TRUE(fs::exists(m_dir / fs::path(u8"(名前なし)/2011-03-04_05-06-08.html")));
}

} // namespace
