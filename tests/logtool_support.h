#pragma once
// Helpers of the log sorting tests: send logs of both forms, made by the program's own send
// log writer, in a temporary folder, and snapshots of a folder tree to compare.
#include "mail/sendlog.h"
#include "mail_text_support.h"
#include "support/files.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace zp::test {

namespace fs = std::filesystem;

enum class LogKind { Text, Html };

struct TestLog {
    std::string base; // "2011-03-04_05-06-07"
    LogKind kind = LogKind::Text;
    std::vector<std::string> recipients; // entry texts, UTF-8
    bool picture = false;
    std::string subject = "件名";
};

// A log as the send log writer makes it, in Shift-JIS.
inline std::string logText(const TestLog& s) {
    SendLogInput in;
    in.time = {2011, 3, 4, 5, 6, 7};
    in.sent = true;
    in.picturePresent = s.picture;
    for (const std::string& r : s.recipients)
        in.recipients.push_back(sjis(r));
    in.subject = sjis(s.subject);
    in.body = sjis("本文 @ " + s.base);
    const std::vector<std::string> lines =
        s.kind == LogKind::Text ? sendLogTextLines(in) : sendLogHtmlLines(in, s.base + ".jpg");
    std::string out;
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out;
}

// Writes the file, making its folders first.
inline void writeFile(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    writeText(p, bytes);
}

// Distinct bytes for the picture of a log; `size` makes it as large as wanted.
inline std::string pictureBytes(const std::string& base, std::size_t size = 300) {
    std::string out = "\xFF\xD8 picture of " + base + " ";
    while (out.size() < size)
        out += static_cast<char>('a' + out.size() % 26);
    return out;
}

inline void writeLog(const fs::path& folder, const TestLog& s) {
    writeFile(folder / (s.base + (s.kind == LogKind::Text ? ".txt" : ".html")), logText(s));
    if (s.picture)
        writeFile(folder / (s.base + ".jpg"), pictureBytes(s.base));
}

// Every file under root (relative path, UTF-8, "/" separators) with its bytes; folders
// appear as "path/" with no bytes.
using Tree = std::map<std::string, std::string>;
inline Tree snapshot(const fs::path& root) {
    Tree t;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).generic_string();
        if (e.is_directory())
            t[rel + "/"] = "";
        else
            t[rel] = readText(e.path());
    }
    return t;
}

inline std::vector<std::string> contents(const Tree& t) {
    std::vector<std::string> out;
    for (const auto& [path, bytes] : t)
        if (path.back() != '/')
            out.push_back(bytes);
    std::sort(out.begin(), out.end());
    return out;
}

class TempFolder : public ::testing::Test {
protected:
    void TearDown() override {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
    }
    TempDir m_tmp{"zp_logs_"};
    const fs::path m_dir = m_tmp.path();
};

// Writes the sends into `folder`, all into the folder itself or, with nameFolders, as the
// writer files them per recipient. `work` is a folder for the working JPEG.
inline void writeSends(const fs::path& folder, bool nameFolders, const fs::path& work) {
    const fs::path jpeg = work / "zoripost.jpg";
    writeFile(jpeg, pictureBytes("working", 5000));
    struct Send {
        SendLogMode mode;
        int second;
        std::vector<std::string> to;
        std::string subject;
    };
    const std::vector<Send> sends = {
        {SendLogMode::TextAndPicture, 7, {"山田 (y@x.jp)", "b@x.jp", "鈴木 (s@x.jp)"}, "写真"},
        {SendLogMode::HtmlAndPicture, 8, {"A & B <x> (ab@x.jp)", "c@x.jp"}, "a < b"},
        {SendLogMode::Text, 9, {"山田 (y@x.jp)"}, ""},
        {SendLogMode::HtmlAndPicture, 10, {"T (t@x.jp)", "山田 (y@x.jp)"}, "【送信先】の件"},
        {SendLogMode::HtmlAndPicture, 11, {"c@x.jp", "d@x.jp"}, "two without a name"},
    };
    for (const Send& s : sends) {
        SendLogInput in;
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
        const SendLogResult r = writeSendLog(in);
        ASSERT_TRUE(r.notices.empty());
    }
}

// The files of a folder the writer filed per recipient, with the logs it put into the folder
// itself (those of recipients without a name) moved to "(名前なし)", as the sorting tool
// files them.
inline Tree asSorted(const Tree& byName) {
    Tree expected;
    for (const auto& [path, bytes] : byName)
        if (path.back() != '/')
            expected[path.find('/') == std::string::npos ? "(名前なし)/" + path : path] = bytes;
    return expected;
}

inline Tree filesOf(const fs::path& root) {
    Tree out;
    for (const auto& [path, bytes] : snapshot(root))
        if (path.back() != '/')
            out[path] = bytes;
    return out;
}

} // namespace zp::test
