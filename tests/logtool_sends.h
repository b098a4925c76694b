#pragma once
// Send logs written by the program's own send log writer, for the tests that sort them:
// text and HTML logs with pictures, several recipients, recipients without a name, a name
// with characters the HTML form escapes, a subject holding the recipients marker.
#include "logtool_support.h"
#include "mail/sendlog.h"

#include <gtest/gtest.h>

namespace zp::test {

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
