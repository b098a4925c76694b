#pragma once
// Outcomes of the picture pipeline and the texts the program shows for them.
// The pipeline reports codes and numbers; the texts below are Shift-JIS byte strings
// (code page 932), ready for the window's status bar or a message box.
#include <cstddef>
#include <string>

namespace zp {

enum class PictureError {
    None,
    InvalidBitmap,       // an empty bitmap was given to a bitmap operation
    NoPicture,           // makeJpeg without a source picture
    OutputFolderMissing, // the folder for output copies does not exist
    DecodeFailed,        // the source file could not be read (detail in the result)
    EncodeFailed,        // libjpeg refused the bitmap (detail in the result)
    WriteFailed,         // a file could not be written (detail in the result)
};

// One encoding of the quality loop, as shown on the status line.
struct EncodeStep {
    int quality = 0;
    std::size_t bytes = 0;
    bool gaveUp = false; // the last encoding, still over the limit at the lowest quality
};

// Size in kB as shown to the user: bytes / 1024 rounded up.
std::size_t kilobytesRoundedUp(std::size_t bytes);

// The message text for an error code (Shift-JIS); empty for codes without a text of their own.
std::string pictureMessage(PictureError error);

// "ファイルサイズ<kB>kB, 画質<q> の画像を作成しました" or, for a give-up, "... で打ち切りました"
// (Shift-JIS).
std::string statusLine(const EncodeStep& step);

} // namespace zp
