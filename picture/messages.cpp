#include "picture/messages.h"

namespace zp {

namespace {

// "ファイルサイズ"
constexpr const char* kFileSize = "\x83\x74\x83\x40\x83\x43\x83\x8b\x83\x54\x83\x43\x83\x59";
// "kB, 画質"
constexpr const char* kKbQuality = "kB, \x89\xe6\x8e\xbf";
// " の画像を作成しました"
constexpr const char* kMade =
    " \x82\xcc\x89\xe6\x91\x9c\x82\xf0\x8d\xec\x90\xac\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
// " で打ち切りました"
constexpr const char* kGaveUp = " \x82\xc5\x91\xc5\x82\xbf\x90\xd8\x82\xe8\x82\xdc\x82\xb5\x82\xbd";
// "ビットマップが不正です。"
constexpr const char* kInvalidBitmap = "\x83\x72\x83\x62\x83\x67\x83\x7d\x83\x62\x83\x76\x82\xaa"
                                       "\x95\x73\x90\xb3\x82\xc5\x82\xb7\x81\x42";
// "画像がありません。"
constexpr const char* kNoPicture =
    "\x89\xe6\x91\x9c\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// "指定された生成画像保存フォルダは存在しません。"
constexpr const char* kOutputFolderMissing =
    "\x8e\x77\x92\xe8\x82\xb3\x82\xea\x82\xbd\x90\xb6\x90\xac\x89\xe6\x91\x9c\x95\xdb\x91\xb6"
    "\x83\x74\x83\x48\x83\x8b\x83\x5f\x82\xcd\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81"
    "\x42";

} // namespace

std::size_t kilobytesRoundedUp(std::size_t bytes) {
    return (bytes + 1023) / 1024;
}

std::string pictureMessage(PictureError error) {
    switch (error) {
    case PictureError::InvalidBitmap:
        return kInvalidBitmap;
    case PictureError::NoPicture:
        return kNoPicture;
    case PictureError::OutputFolderMissing:
        return kOutputFolderMissing;
    default:
        return {};
    }
}

std::string statusLine(const EncodeStep& step) {
    std::string line = kFileSize;
    line += std::to_string(kilobytesRoundedUp(step.bytes));
    line += kKbQuality;
    line += std::to_string(step.quality);
    line += step.gaveUp ? kGaveUp : kMade;
    return line;
}

} // namespace zp
