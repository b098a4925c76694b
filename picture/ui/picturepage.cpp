#include "picturepage.h"

#include "picture/outputfiles.h"
#include "platform/controlcolor.h"
#include "platform/controlevents.h"
#include "platform/dialogs.h"
#include "platform/fspath.h"
#include "platform/textcodec.h"
#include "platform/updown.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <climits>
#include <optional>

namespace zp {
namespace {

// A number typed into a box: blanks around it, an optional sign, decimal digits or
// hexadecimal after "$" or "0x" (as the settings file writes and reads them). A number
// beyond the 32-bit range is taken as the nearest end, so it clamps like any other.
bool boxNumber(const QString& text, int& value) {
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-'))) {
        negative = t.startsWith(QLatin1Char('-'));
        t.remove(0, 1);
    }
    int base = 10;
    if (t.startsWith(QLatin1Char('$'))) {
        base = 16;
        t.remove(0, 1);
    } else if (t.size() > 2 && t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t.remove(0, 2);
    }
    if (t.isEmpty() || !t.front().isLetterOrNumber())
        return false;
    for (QChar c : t)
        if (c.unicode() > 0x7F)
            return false;
    bool ok = false;
    const qulonglong n = t.toULongLong(&ok, base);
    if (!ok)
        return false;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    const long long v = static_cast<long long>(std::min<qulonglong>(n, limit));
    value = static_cast<int>(negative ? -v : v);
    return true;
}

// Clamps a box to its spin control's range and writes the number back; a box without a
// number takes `fallback`, or the spin control's position when there is none.
void clampBox(QLineEdit* box, UpDown* spin, std::optional<int> fallback) {
    int value = 0;
    if (!boxNumber(box->text(), value))
        value = fallback.value_or(spin->position());
    spin->setPosition(value);
    box->setText(QString::number(spin->position()));
}

} // namespace

PicturePage::PicturePage(WindowHost& host, const PicturePageControls& controls, QObject* parent)
    : QObject(parent), m_host(host), m_c(controls) {
    onExit(m_c.edtQuality, this, [this] { edtQualityExit(); });
    onExit(m_c.edtLimitSize, this, [this] { edtLimitSizeExit(); });
    onExit(m_c.edtSizeW, this, [this] { edtSizeWExit(); });
    onExit(m_c.edtSizeH, this, [this] { edtSizeHExit(); });
    connect(m_c.chkLimitSize, &QAbstractButton::clicked, this, &PicturePage::chkLimitSizeClick);
    for (QAbstractButton* box : {m_c.chkRot, m_c.chkAllowCut, m_c.chkStretchMiniImg})
        connect(box, &QAbstractButton::clicked, this, &PicturePage::chkRotClick);
    connect(m_c.cmbSize, &QComboBox::activated, this, &PicturePage::cmbSizeChange);
    connect(m_c.btnMakeJpeg, &QAbstractButton::clicked, this, &PicturePage::btnMakeJpegClick);
    for (QLabel* pane : {m_c.imgQVGA, m_c.imgJPEGnized}) {
        pane->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        pane->setScaledContents(false);
    }
}

FrameSize PicturePage::parseSizePreset(const QString& itemText) {
    return zp::parseSizePreset(toSjis(itemText));
}

int PicturePage::findSizePreset(const QComboBox* presets, int width, int height) {
    for (int i = 1; i < presets->count(); ++i)
        if (parseSizePreset(presets->itemText(i)) == FrameSize{width, height})
            return i;
    return 0;
}

void PicturePage::setSource(PictureSource source) {
    m_source = std::move(source);
}

void PicturePage::clearPicture() {
    m_source = PictureSource();
    m_fitted = Bitmap();
}

QImage PicturePage::toImage(const Bitmap& bitmap) {
    if (bitmap.empty())
        return {};
    const QImage view(bitmap.pixels.data(), bitmap.width, bitmap.height,
                      static_cast<qsizetype>(bitmap.stride()), QImage::Format_RGB888);
    return view.copy();
}

void PicturePage::edtQualityExit() {
    clampBox(m_c.edtQuality, m_c.udQuality, 95);
}

void PicturePage::edtLimitSizeExit() {
    clampBox(m_c.edtLimitSize, m_c.udLimitSize, 100);
}

void PicturePage::edtSizeWExit() {
    clampBox(m_c.edtSizeW, m_c.udSizeW, std::nullopt);
}

void PicturePage::edtSizeHExit() {
    clampBox(m_c.edtSizeH, m_c.udSizeH, std::nullopt);
}

void PicturePage::chkLimitSizeClick() {
    const bool on = m_c.chkLimitSize->isChecked();
    m_c.edtLimitSize->setEnabled(on);
    m_c.udLimitSize->setEnabled(on);
    setControlColor(m_c.edtLimitSize, on);
}

void PicturePage::chkRotClick() {
    const bool on = m_c.chkRot->isChecked();
    m_c.radLeftRot->setEnabled(on);
    m_c.radRightRot->setEnabled(on);
}

// A preset writes its size into the boxes and locks them (with their spin controls, so
// the arrows cannot change a preset's size either); "直接指定" opens them for typing.
void PicturePage::cmbSizeChange() {
    const bool typed = m_c.cmbSize->currentIndex() <= 0;
    if (!typed) {
        const FrameSize size = parseSizePreset(m_c.cmbSize->currentText());
        m_c.udSizeW->setPosition(size.width);
        m_c.udSizeH->setPosition(size.height);
        m_c.edtSizeW->setText(QString::number(size.width));
        m_c.edtSizeH->setText(QString::number(size.height));
    }
    for (QLineEdit* box : {m_c.edtSizeW, m_c.edtSizeH}) {
        box->setEnabled(typed);
        setControlColor(box, typed);
    }
    for (UpDown* spin : {m_c.udSizeW, m_c.udSizeH})
        spin->setEnabled(typed);
}

void PicturePage::btnMakeJpegClick() {
    if (m_source.present())
        makeJpeg(true);
    else
        applyTargetSize();
}

// The preview panes take the frame's size at the top-left corner; the rest of the
// layout (scroll box, whole-picture preview) belongs to the preview.
void PicturePage::applyTargetSize() {
    edtSizeWExit();
    edtSizeHExit();
    int value = 0;
    m_targetWidth = boxNumber(m_c.edtSizeW->text(), value) ? value : 1920;
    m_targetHeight = boxNumber(m_c.edtSizeH->text(), value) ? value : 1080;
    for (QLabel* pane : {m_c.imgBG, m_c.imgQVGA, m_c.imgJPEGnized})
        pane->setGeometry(0, 0, m_targetWidth, m_targetHeight);
    emit targetSizeApplied();
}

PictureSettings PicturePage::readSettings() {
    PictureSettings s;
    s.targetWidth = m_targetWidth;
    s.targetHeight = m_targetHeight;
    s.fit.enlarge = m_c.chkStretchMiniImg->isChecked();
    s.fit.cut = m_c.chkAllowCut->isChecked();
    s.fit.direction = TurnDirection::None;
    if (m_c.chkRot->isChecked() && m_c.radLeftRot->isChecked())
        s.fit.direction = TurnDirection::Left;
    else if (m_c.chkRot->isChecked() && m_c.radRightRot->isChecked())
        s.fit.direction = TurnDirection::Right;
    // A value typed but not yet confirmed is clamped now.
    edtLimitSizeExit();
    edtQualityExit();
    s.jpeg.quality = m_c.udQuality->position();
    s.jpeg.limitSize = m_c.chkLimitSize->isChecked();
    s.jpeg.limitKB = m_c.udLimitSize->position();
    s.jpeg.fine = m_c.chkFineQuality->isChecked();
    return s;
}

void PicturePage::showFitted() {
    m_c.imgQVGA->setPixmap(QPixmap::fromImage(toImage(m_fitted)));
    m_c.imgQVGA->repaint();
}

bool PicturePage::makeJpeg(bool rescale) {
    return makeJpegOutcome(rescale, true) == JpegOutcome::Made;
}

JpegOutcome PicturePage::makeJpegOutcome(bool rescale, bool reportDecodeFailure) {
    QWidget* w = m_host.window();
    applyTargetSize();
    if (!m_source.present()) {
        dialogs().message(w, MsgKind::Information,
                          fromSjis(pictureMessage(PictureError::NoPicture)));
        return JpegOutcome::NoPicture;
    }
    m_c.pnlAttach->hide();
    m_c.memAttach->clear();
    const PictureSettings settings = readSettings();
    m_c.imgJPEGnized->hide();
    m_c.imgQVGA->repaint();

    const StatusFn status = [this](const EncodeStep& step) {
        m_host.reportStatus(fromSjis(statusLine(step)), MsgKind::None);
    };
    MakeJpegResult result = rescale ? makeJpegCore(m_source, settings, status)
                                    : makeJpegFromFitted(m_fitted, settings.jpeg, status);
    if (!result.fitted.empty())
        m_fitted = std::move(result.fitted);
    showFitted();
    if (!result.hasJpeg()) {
        const bool decode = result.error == PictureError::DecodeFailed;
        if (!decode || reportDecodeFailure)
            reportFailure(result);
        else
            qWarning("picture not decoded: %s", result.detail.c_str());
        return decode ? JpegOutcome::DecodeFailed : JpegOutcome::EncodeFailed;
    }
    return writeAndShowJpeg(result);
}

JpegOutcome PicturePage::writeAndShowJpeg(const MakeJpegResult& result) {
    QWidget* w = m_host.window();
    const QString working = m_host.workingJpegPath();
    std::string error;
    if (!writeFileReplacing(toFsPath(working), result.jpeg, error)) {
        qWarning("working JPEG not written: %s", error.c_str());
        m_host.reportStatus(QStringLiteral("JPEG画像ファイルを書き込めませんでした。"),
                            MsgKind::Information);
        return JpegOutcome::WriteFailed;
    }
    if (result.ok && m_c.chkOutMadeGrp->isChecked()) {
        // The engine takes native path texts: the local 8-bit name on Unix, UTF-8 on Windows.
        const auto text = [](const QString& shown) {
            const std::u8string name = toFsPath(shown).u8string();
            return std::string(name.begin(), name.end());
        };
        // A failing copy is not reported; a missing folder is.
        if (copyToOutputFolder(toFsPath(working), text(m_c.edtOutDir->text()),
                               text(m_c.lblFileNameF->text())) == PictureError::OutputFolderMissing)
            dialogs().message(w, MsgKind::Information,
                              fromSjis(pictureMessage(PictureError::OutputFolderMissing)));
    }
    // The preview shows the file as a phone decodes it, not the bitmap that was encoded.
    QLabel* preview = m_c.imgJPEGnized;
    preview->setPixmap(QPixmap::fromImage(QImage(working)));
    preview->show();
    preview->raise();
    preview->repaint();
    if (!m_c.pnlWhole->isHidden())
        emit wholePreviewOutdated();
    return result.ok ? JpegOutcome::Made : JpegOutcome::LimitMissed;
}

void PicturePage::reportFailure(const MakeJpegResult& result) {
    qWarning("no JPEG made: %s", result.detail.c_str());
    const QString text = result.error == PictureError::DecodeFailed
                             ? QStringLiteral("画像ファイルを読み込めませんでした。")
                             : QStringLiteral("JPEG画像を作成できませんでした。");
    m_host.reportStatus(text, MsgKind::Information);
}

} // namespace zp
