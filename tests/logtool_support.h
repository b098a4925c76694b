#pragma once
// Helpers of the log sorting tests: send logs written in both forms into a temporary
// folder, and snapshots of a folder tree to compare before and after.
#include "mail_text_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace zp::test {

namespace fs = std::filesystem;

enum class LogKind { Text, Html };

struct LogSpec {
    std::string base; // "2011-03-04_05-06-07"
    LogKind kind = LogKind::Text;
    std::vector<std::string> recipients; // entry texts, UTF-8
    bool picture = false;
    std::string subject = "件名";
};

inline std::string crlfJoin(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out;
}

// A log as the send operation writes it (UTF-8 here, stored as Shift-JIS).
inline std::string logText(const LogSpec& s) {
    std::vector<std::string> lines;
    if (s.kind == LogKind::Text) {
        lines = {"【送信日時】", "2011/03/04 5:06:07", "送信成功", "【送信先】"};
        lines.insert(lines.end(), s.recipients.begin(), s.recipients.end());
        lines.insert(lines.end(), {"【件名】", s.subject, "【本文】", "本文 @ " + s.base});
    } else {
        lines = {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">",
                 "<html lang=\"ja\">",
                 "<head>",
                 "<meta http-equiv=\"Content-type\" content=\"text/html;charset=Shift_JIS\">",
                 "<title>" + s.subject + " - zoripost </title>",
                 "</head>",
                 "<body>",
                 "<font color=\"blue\">【送信日時】</font>",
                 "2011/03/04 5:06:07",
                 "送信<font color=\"blue\">成功</font><br>",
                 "<font color=\"blue\">【送信先】</font>"};
        for (const std::string& r : s.recipients)
            lines.push_back(r + " ");
        lines.insert(lines.end(),
                     {"<br>", "<font color=\"blue\">【件名】</font>", s.subject, "<br>",
                      "<font color=\"blue\">【本文】</font><br>", "本文 @ " + s.base, "<br>"});
        if (s.picture)
            lines.push_back("<img src=\"" + s.base + ".jpg\">");
        lines.insert(lines.end(), {"</body>", "</html>"});
    }
    return sjis(crlfJoin(lines));
}

inline void writeFile(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Distinct bytes for the picture of a log; `size` makes it as large as wanted.
inline std::string pictureBytes(const std::string& base, std::size_t size = 300) {
    std::string out = "\xFF\xD8 picture of " + base + " ";
    while (out.size() < size)
        out += static_cast<char>('a' + out.size() % 26);
    return out;
}

inline void writeLog(const fs::path& folder, const LogSpec& s) {
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
            t[rel] = readFile(e.path());
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
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "zp_logs_XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        m_dir = templ;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
    }
    fs::path m_dir;
};

} // namespace zp::test
