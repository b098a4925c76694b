#pragma once
// The send log writer: the text and HTML records of one send, with the picture copy beside
// them, in the log folder or in one folder per recipient. Texts are Shift-JIS byte strings;
// the log sorting tool reads what this writes (mail/sendlogreader.h).
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

struct SendLogTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

enum class SendLogMode { None = 0, Text = 1, TextAndPicture = 2, HtmlAndPicture = 3 };

struct SendLogInput {
    SendLogMode mode = SendLogMode::None;
    std::string folder; // the log folder as typed (Shift-JIS)
    bool nameFolders = true;
    SendLogTime time;
    bool sent = false;
    bool picturePresent = false;
    std::filesystem::path picture;       // the working JPEG
    std::vector<std::string> recipients; // entry texts, in list order
    // The subject, the attachment's name and the body are Shift-JIS in the settings file's
    // form (text/charescape.h): characters Shift-JIS cannot hold are escapes, which the text
    // form keeps as they are and the HTML form writes as the character references they are.
    std::string subject;
    bool hasAttachment = false;
    std::string attachmentPath;
    std::string body; // lines separated by CR LF
};

// Something the user is told about: the log folder is missing, or a recipient's folder
// could not be made (`folder` is then its path with the trailing separator, Shift-JIS).
struct SendLogNotice {
    enum Kind { MissingFolder, FolderNotCreated } kind;
    std::string folder;
    bool operator==(const SendLogNotice&) const = default;
};

struct SendLogResult {
    std::vector<SendLogNotice> notices;
    std::vector<std::filesystem::path> written; // log files and picture copies
};

// "yyyy-mm-dd_hh-nn-ss".
std::string sendLogBaseName(const SendLogTime& t);
// "yyyy/mm/dd h:nn:ss", the date alone at midnight (the Japanese system's short date and
// long time forms).
std::string sendLogDateLine(const SendLogTime& t);
// "&", "<", ">" and '"' as entities. None of them can be the second byte of a Shift-JIS
// character, so the bytes are replaced one by one.
std::string htmlEscape(std::string_view text);

// The lines of the text form, and of the HTML form whose picture line names pictureName.
std::vector<std::string> sendLogTextLines(const SendLogInput& in);
std::vector<std::string> sendLogHtmlLines(const SendLogInput& in, std::string_view pictureName);

// Writes the log (and the picture copy in the picture modes). Files are created, never
// replaced: where the base name is taken already, "_2", "_3", ... follow it. Write and
// copy failures are skipped silently; the notices list what the user must be told.
SendLogResult writeSendLog(const SendLogInput& in);

} // namespace zp
