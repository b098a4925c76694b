#pragma once
// The picture settings page: quality, size limit, target size with its presets, turning,
// cutting and enlarging, and the JPEG pipeline that reads them. It holds the one picture
// being prepared: the source as taken in and the fitted bitmap that is encoded and edited.
// Handler slots are named after the control events.
#include "bitmap/bitmap.h"
#include "picture/preparedpicture.h"
#include "platform/windowhost.h"
#include "settings/sizepresets.h"

#include <QObject>

class QAbstractButton;
class QComboBox;
class QImage;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace zp {

class UpDown;

// The controls of the picture settings page, and the panes and labels the pipeline sets.
struct PicturePageControls {
    QLineEdit* edtQuality;
    UpDown* udQuality;
    QAbstractButton* chkLimitSize;
    QLineEdit* edtLimitSize;
    UpDown* udLimitSize;
    QComboBox* cmbSize;
    QLineEdit* edtSizeW;
    UpDown* udSizeW;
    QLineEdit* edtSizeH;
    UpDown* udSizeH;
    QAbstractButton* chkStretchMiniImg;
    QAbstractButton* chkRot;
    QAbstractButton* radLeftRot;
    QAbstractButton* radRightRot;
    QAbstractButton* chkAllowCut;
    QAbstractButton* chkFineQuality;
    QAbstractButton* btnMakeJpeg;
    QAbstractButton* chkOutMadeGrp;
    QLineEdit* edtOutDir;
    QLabel* lblFileNameF;
    QLabel* imgBG;
    QLabel* imgQVGA;
    QLabel* imgJPEGnized;
    QWidget* pnlWhole;
    QWidget* pnlAttach;
    QPlainTextEdit* memAttach;
};

// How a run of the pipeline ended.
enum class JpegOutcome {
    Made,         // a JPEG within the limit, or no limit set
    LimitMissed,  // a JPEG over the limit at the lowest quality (still written and shown)
    NoPicture,    // no source
    DecodeFailed, // the source file could not be read into pixels
    EncodeFailed, // no JPEG came out of the encoder
    WriteFailed   // the working JPEG file could not be written
};

class PicturePage : public QObject {
    Q_OBJECT
public:
    PicturePage(WindowHost& host, const PicturePageControls& controls, QObject* parent);

    // The width and height of a preset item's text (read after its last blank, split at
    // "×"); a part that is not a number gives 0.
    static FrameSize parseSizePreset(const QString& itemText);
    // The first item from 1 on whose size is width x height; 0 ("直接指定") when none is.
    static int findSizePreset(const QComboBox* presets, int width, int height);

    // The frame in use, set by applyTargetSize.
    int targetWidth() const { return m_targetWidth; }
    int targetHeight() const { return m_targetHeight; }

    // The picture being prepared. Setting a source does not encode it; makeJpeg does.
    const PictureSource& source() const { return m_source; }
    void setSource(PictureSource source);
    // Empties source and fitted bitmap (detaching); the intake hides the panes.
    void clearPicture();
    // The fitted bitmap: the editing commands change it and call makeJpeg(false).
    Bitmap& fitted() { return m_fitted; }

    // The 24-bit bitmap as a picture for a pane (a copy).
    static QImage toImage(const Bitmap& bitmap);

public slots:
    void edtQualityExit();
    void edtLimitSizeExit();
    void edtSizeWExit();
    void edtSizeHExit();
    void chkLimitSizeClick();
    void chkRotClick();
    void cmbSizeChange();
    void btnMakeJpegClick();
    void applyTargetSize();
    // Fits, encodes and previews the picture; true when a JPEG within the limit was made.
    bool makeJpeg(bool rescale);

signals:
    // The frame's size is in the panes; the rest of the layout (scroll box, whole-picture
    // preview) follows it.
    void targetSizeApplied();
    // A new JPEG is in its pane while the whole-picture preview is shown.
    void wholePreviewOutdated();

public:
    // makeJpeg, telling why it failed. A source that cannot be decoded is reported only
    // when asked: the intake makes such a file an attachment without a message.
    JpegOutcome makeJpegOutcome(bool rescale, bool reportDecodeFailure);

private:
    PictureSettings readSettings();
    void showFitted();
    JpegOutcome writeAndShowJpeg(const MakeJpegResult& result);
    void reportFailure(const MakeJpegResult& result);

    WindowHost& m_host;
    const PicturePageControls m_c;
    PictureSource m_source;
    Bitmap m_fitted;
    int m_targetWidth = 132;
    int m_targetHeight = 176;
};

} // namespace zp
