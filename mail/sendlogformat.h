#pragma once
// The markers and fixed lines of the send logs, in Shift-JIS, shared by the log writer and
// the reader of the log sorting tool so that the two cannot drift apart.
#include <string_view>

namespace zp::sendlog {

inline constexpr std::string_view kDateMarker = "\x81\x79\x91\x97\x90\x4D\x93\xFA\x8E\x9E\x81\x7A"; // 【送信日時】
inline constexpr std::string_view kRecipientsMarker = "\x81\x79\x91\x97\x90\x4D\x90\xE6\x81\x7A"; // 【送信先】
inline constexpr std::string_view kSubjectMarker = "\x81\x79\x8C\x8F\x96\xBC\x81\x7A";  // 【件名】
inline constexpr std::string_view kAttachMarker = "\x81\x79\x93\x59\x95\x74\x81\x7A";   // 【添付】
inline constexpr std::string_view kBodyMarker = "\x81\x79\x96\x7B\x95\xB6\x81\x7A";     // 【本文】
inline constexpr std::string_view kSent = "\x91\x97\x90\x4D\x90\xAC\x8C\xF7";           // 送信成功
inline constexpr std::string_view kNotSent = "\x91\x97\x90\x4D\x8E\xB8\x94\x73";        // 送信失敗
inline constexpr std::string_view kUntitled = "\x96\xB3\x91\xE8";                       // 無題

// The HTML form's header line of the recipients, character for character.
inline constexpr std::string_view kHtmlRecipientsLine =
    "<font color=\"blue\">\x81\x79\x91\x97\x90\x4D\x90\xE6\x81\x7A</font>";

inline constexpr std::string_view kTextSuffix = ".txt";
inline constexpr std::string_view kHtmlSuffix = ".html";
inline constexpr std::string_view kPictureSuffix = ".jpg";

} // namespace zp::sendlog
