#include "mail/sendlog.h"

#include "addressbook/addrentry.h"
#include "fileio/fileio.h"
#include "mail/jis.h"
#include "mail/logname.h"
#include "mail/sendlogformat.h"
#include "text/charescape.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <system_error>

namespace zp {
namespace fs = std::filesystem;
using fileio::Created;

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// Past this many taken names the log is not written rather than searched for ever.
constexpr int kMaxSuffix = 1000;

std::string twoDigits(int n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

bool isBlank(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) > 0x20)
            return false;
    return true;
}

// Whether the last character (read as Shift-JIS from the start) is a folder separator;
// the second byte of a double-byte character is never one.
bool endsWithSeparator(std::string_view text) {
    bool last = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (isSjisLeadByte(c)) {
            ++i;
            last = false;
            continue;
        }
        last = c == '/' || (kSeparator == '\\' && c == '\\');
    }
    return last;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines)
        out.append(line).append("\r\n");
    return out;
}

std::string fileBytes(const fs::path& path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ok = !in.bad() && in.is_open();
    return bytes;
}

std::string blueMarker(std::string_view marker) {
    return "<font color=\"blue\">" + std::string(marker) + "</font>";
}

// Writes the log into one folder under the first free base name, and the picture copy
// under the same base name.
void writeInto(const fs::path& folder, const SendLogInput& in, const std::string& base,
               SendLogResult& result) {
    const bool html = in.mode == SendLogMode::HtmlAndPicture;
    const bool copyPicture = in.picturePresent && in.mode != SendLogMode::Text;
    const std::string suffix(html ? sendlog::kHtmlSuffix : sendlog::kTextSuffix);
    const std::string picture(sendlog::kPictureSuffix);
    bool pictureRead = false;
    const std::string pictureBytes = copyPicture ? fileBytes(in.picture, pictureRead) : "";
    for (int n = 1; n <= kMaxSuffix; ++n) {
        const std::string name = n == 1 ? base : base + "_" + std::to_string(n);
        const fs::path log = folder / (name + suffix);
        const fs::path copy = folder / (name + picture);
        std::error_code ec;
        if (fs::exists(log, ec) || (copyPicture && fs::exists(copy, ec)))
            continue;
        const std::vector<std::string> lines =
            html ? sendLogHtmlLines(in, name + picture) : sendLogTextLines(in);
        // Created, never opened: a file or a link planted at the name sends the log on to the
        // next name rather than being replaced or written through.
        const Created made = fileio::writeNewFile(log, joinLines(lines));
        if (made == Created::Exists)
            continue;
        if (made == Created::Ok)
            result.written.push_back(log);
        if (copyPicture && pictureRead && fileio::writeNewFile(copy, pictureBytes) == Created::Ok)
            result.written.push_back(copy);
        return;
    }
}

} // namespace

std::string sendLogBaseName(const SendLogTime& t) {
    return std::to_string(t.year) + "-" + twoDigits(t.month) + "-" + twoDigits(t.day) + "_" +
           twoDigits(t.hour) + "-" + twoDigits(t.minute) + "-" + twoDigits(t.second);
}

std::string sendLogDateLine(const SendLogTime& t) {
    std::string line = std::to_string(t.year) + "/" + twoDigits(t.month) + "/" + twoDigits(t.day);
    if (t.hour != 0 || t.minute != 0 || t.second != 0)
        line +=
            " " + std::to_string(t.hour) + ":" + twoDigits(t.minute) + ":" + twoDigits(t.second);
    return line;
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        appendHtmlEscaped(out, c);
    return out;
}

std::vector<std::string> sendLogTextLines(const SendLogInput& in) {
    std::vector<std::string> lines;
    lines.emplace_back(sendlog::kDateMarker);
    lines.push_back(sendLogDateLine(in.time));
    lines.emplace_back(in.sent ? sendlog::kSent : sendlog::kNotSent);
    lines.emplace_back(sendlog::kRecipientsMarker);
    lines.insert(lines.end(), in.recipients.begin(), in.recipients.end());
    lines.emplace_back(sendlog::kSubjectMarker);
    lines.push_back(in.subject);
    if (in.hasAttachment) {
        lines.emplace_back(sendlog::kAttachMarker);
        lines.push_back(in.attachmentPath);
    }
    lines.emplace_back(sendlog::kBodyMarker);
    lines.push_back(in.body);
    return lines;
}

std::vector<std::string> sendLogHtmlLines(const SendLogInput& in, std::string_view pictureName) {
    std::vector<std::string> lines = {
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">",
        "<html lang=\"ja\">",
        "<head>",
        "<meta http-equiv=\"Content-type\" content=\"text/html;charset=Shift_JIS\">",
        in.subject.empty() ? "<title> " + std::string(sendlog::kUntitled) + " - zoripost </title>"
                           : "<title>" + htmlEscapeKeepingAll(in.subject) + " - zoripost </title>",
        "</head>",
        "<body>",
        blueMarker(sendlog::kDateMarker),
        sendLogDateLine(in.time),
        // 送信<font color="blue">成功</font><br> or 送信<font color="red">失敗</font><br>
        in.sent ? "\x91\x97\x90\x4D<font color=\"blue\">\x90\xAC\x8C\xF7</font><br>"
                : "\x91\x97\x90\x4D<font color=\"red\">\x8E\xB8\x94\x73</font><br>",
        std::string(sendlog::kHtmlRecipientsLine),
    };
    for (const std::string& entry : in.recipients)
        lines.push_back(htmlEscape(entry) + " ");
    lines.emplace_back("<br>");
    lines.push_back(blueMarker(sendlog::kSubjectMarker));
    lines.push_back(htmlEscapeKeepingAll(in.subject));
    lines.emplace_back("<br>");
    if (in.hasAttachment) {
        lines.push_back(blueMarker(sendlog::kAttachMarker));
        lines.push_back(htmlEscapeKeepingAll(in.attachmentPath));
        lines.emplace_back("<br>");
    }
    lines.push_back(blueMarker(sendlog::kBodyMarker) + "<br>");
    std::string body = htmlEscapeKeepingAll(in.body);
    for (std::size_t at = body.find("\r\n"); at != std::string::npos;
         at = body.find("\r\n", at + 6))
        body.insert(at, "<br>");
    lines.push_back(std::move(body));
    lines.emplace_back("<br>");
    if (in.picturePresent)
        lines.push_back("<img src=\"" + std::string(pictureName) + "\">");
    lines.emplace_back("</body>");
    lines.emplace_back("</html>");
    return lines;
}

SendLogResult writeSendLog(const SendLogInput& in) {
    SendLogResult result;
    if (in.mode == SendLogMode::None)
        return result;
    fs::path folder;
    std::error_code ec;
    // An empty text would otherwise mean the current folder.
    if (isBlank(in.folder) || !sjisToPath(in.folder, folder) || !fs::is_directory(folder, ec)) {
        result.notices.push_back({SendLogNotice::MissingFolder, in.folder});
        return result;
    }
    std::string shown = in.folder;
    if (!endsWithSeparator(shown))
        shown += kSeparator;
    const std::string base = sendLogBaseName(in.time);
    if (!in.nameFolders) {
        writeInto(folder, in, base, result);
        return result;
    }
    // Entries sharing a folder (the same name, or none) share one log there.
    std::set<fs::path> done;
    for (const std::string& entry : in.recipients) {
        const std::string name = parseAddrEntry(entry).name;
        fs::path target = folder;
        if (!name.empty()) {
            fs::path component;
            if (checkFolderName(name, component) != FolderNameCheck::Ok) {
                result.notices.push_back(
                    {SendLogNotice::FolderNotCreated, shown + name + kSeparator});
                continue;
            }
            target /= component;
            fs::create_directories(target, ec);
            if (ec || !fs::is_directory(target, ec)) {
                result.notices.push_back(
                    {SendLogNotice::FolderNotCreated, shown + name + kSeparator});
                continue;
            }
        }
        if (done.insert(target).second)
            writeInto(target, in, base, result);
    }
    return result;
}

} // namespace zp
