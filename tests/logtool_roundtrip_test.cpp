// Logs written by the send log writer, sorted by the sorting engine and by
// zoripost-sortlogs: the sorted folder holds exactly what the writer itself puts into
// per-recipient folders, except that the logs of recipients without a name lie in
// "(名前なし)" instead of the log folder itself.
#include "logtool/logsort.h"
#include "logtool_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using zp::test::asSorted;
using zp::test::filesOf;

class RoundTrip : public zp::test::TempFolder {
protected:
    void SetUp() override {
        TempFolder::SetUp();
        fs::create_directories(m_dir / "byname");
        zp::test::writeSends(m_dir / "byname", true, m_dir);
    }
    fs::path flatFolder(const char* name) {
        const fs::path flat = m_dir / name;
        fs::create_directories(flat);
        zp::test::writeSends(flat, false, m_dir);
        return flat;
    }
};

TEST_F(RoundTrip, TheEngineFilesThemWhereTheWriterWouldHave) {
    const fs::path flat = flatFolder("flat");
    zp::logsort::Plan plan;
    std::string error;
    ASSERT_EQ(zp::logsort::makePlan(flat, plan, error), zp::logsort::PlanError::None);
    ASSERT_EQ(plan.logs.size(), 5u);
    const zp::logsort::Report report = zp::logsort::carryOutPlan(plan);
    EXPECT_EQ(report.logsFiled, 5);
    EXPECT_FALSE(report.leftSomething());
    EXPECT_EQ(filesOf(flat), asSorted(filesOf(m_dir / "byname")));
    EXPECT_TRUE(fs::exists(flat / "A & B <x>" / "2011-03-04_05-06-08.html"));
    EXPECT_TRUE(fs::exists(flat / "T" / "2011-03-04_05-06-10.jpg"));
}

TEST_F(RoundTrip, TheCommandLineFilesThemWhereTheWriterWouldHave) {
    const fs::path flat = flatFolder("flat cli");
    const std::string command =
        std::string(ZP_SORTLOGS_CLI) + " '" + flat.string() + "' >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(filesOf(flat), asSorted(filesOf(m_dir / "byname")));
}

} // namespace
