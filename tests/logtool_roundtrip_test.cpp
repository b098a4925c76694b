// Logs written by the send log writer, sorted by the sorting engine: the sorted folder holds
// exactly what the writer itself puts into per-recipient folders, except that the logs of
// recipients without a name lie in "(名前なし)" instead of the log folder itself.
#include "logtool/logsort.h"
#include "logtool_support.h"
#include "mail/sendlog.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using zp::test::sjis;
using zp::test::Tree;

Tree filesOnly(const Tree& t) {
    Tree out;
    for (const auto& [path, bytes] : t)
        if (path.back() != '/')
            out[path] = bytes;
    return out;
}

class RoundTrip : public zp::test::TempFolder {
protected:
    void writeSends(const fs::path& folder, bool nameFolders) {
        const fs::path jpeg = m_dir / "zoripost.jpg";
        zp::test::writeFile(jpeg, zp::test::pictureBytes("working", 5000));
        struct Send {
            zp::SendLogMode mode;
            int second;
            std::vector<std::string> to;
            std::string subject;
        };
        const std::vector<Send> sends = {
            {zp::SendLogMode::TextAndPicture,
             7,
             {"山田 (y@x.jp)", "b@x.jp", "鈴木 (s@x.jp)"},
             "写真"},
            {zp::SendLogMode::HtmlAndPicture, 8, {"A & B <x> (ab@x.jp)", "c@x.jp"}, "a < b"},
            {zp::SendLogMode::Text, 9, {"山田 (y@x.jp)"}, ""},
            {zp::SendLogMode::HtmlAndPicture,
             10,
             {"T (t@x.jp)", "山田 (y@x.jp)"},
             "【送信先】の件"},
            {zp::SendLogMode::HtmlAndPicture, 11, {"c@x.jp", "d@x.jp"}, "two without a name"},
        };
        for (const Send& s : sends) {
            zp::SendLogInput in;
            in.mode = s.mode;
            in.folder = folder.string();
            in.nameFolders = nameFolders;
            in.time = {2011, 3, 4, 5, 6, s.second};
            in.sent = true;
            in.picturePresent = true;
            in.picture = jpeg;
            for (const std::string& r : s.to)
                in.recipients.push_back(sjis(r));
            in.subject = sjis(s.subject);
            in.body = sjis("本文\r\n二行目");
            const zp::SendLogResult r = zp::writeSendLog(in);
            ASSERT_TRUE(r.notices.empty());
        }
    }
};

TEST_F(RoundTrip, SortedLogsLieWhereTheWriterWouldHavePutThem) {
    const fs::path flat = m_dir / "flat", sorted = m_dir / "byname";
    fs::create_directories(flat);
    fs::create_directories(sorted);
    writeSends(flat, false);
    writeSends(sorted, true);

    zp::logsort::Plan plan;
    std::string error;
    ASSERT_EQ(zp::logsort::makePlan(flat, plan, error), zp::logsort::PlanError::None);
    ASSERT_EQ(plan.logs.size(), 5u);
    const zp::logsort::Report report = zp::logsort::carryOutPlan(plan);
    EXPECT_EQ(report.logsFiled, 5);
    EXPECT_FALSE(report.leftSomething());

    Tree expected;
    for (const auto& [path, bytes] : filesOnly(zp::test::snapshot(sorted)))
        expected[path.find('/') == std::string::npos ? "(名前なし)/" + path : path] = bytes;
    EXPECT_EQ(filesOnly(zp::test::snapshot(flat)), expected);
    EXPECT_TRUE(fs::exists(flat / "A & B <x>" / "2011-03-04_05-06-08.html"));
    EXPECT_TRUE(fs::exists(flat / "T" / "2011-03-04_05-06-10.jpg"));
}

} // namespace
