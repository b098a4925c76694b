#include "picturepage.h"

#include "picture/outputfiles.h"
#include "platform/controlcolor.h"
#include "platform/controlevents.h"
#include "platform/dialogs.h"
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
void clampBox(QWidget* window, const char* edit, const char* updown, std::optional<int> fallback) {
    auto* box = findControl<QLineEdit>(window, edit);
    auto* spin = findControl<UpDown>(window, updown);
    int value = 0;
    if (!boxNumber(box->text(), value))
        value = fallback.value_or(spin->position());
    spin->setPosition(value);
    box->setText(QString::number(spin->position()));
}

bool isChecked(QWidget* window, const char* name) {
    return findControl<QAbstractButton>(window, name)->isChecked();
}

std::filesystem::path nativePath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace

PicturePage::PicturePage(WindowHost& host, QObject* parent) : QObject(parent), m_host(host) {
    QWidget* w = host.window();
    onExit(findControl<QLineEdit>(w, "edtQuality"), this, [this] { edtQualityExit(); });
    onExit(findControl<QLineEdit>(w, "edtLimitSize"), this, [this] { edtLimitSizeExit(); });
    onExit(findControl<QLineEdit>(w, "edtSizeW"), this, [this] { edtSizeWExit(); });
    onExit(findControl<QLineEdit>(w, "edtSizeH"), this, [this] { edtSizeHExit(); });
    connect(findControl<QAbstractButton>(w, "chkLimitSize"), &QAbstractButton::clicked, this,
            &PicturePage::chkLimitSizeClick);
    for (const char* name : {"chkRot", "chkAllowCut", "chkStretchMiniImg"})
        connect(findControl<QAbstractButton>(w, name), &QAbstractButton::clicked, this,
                &PicturePage::chkRotClick);
    connect(findControl<QComboBox>(w, "cmbSize"), &QComboBox::activated, this,
            &PicturePage::cmbSizeChange);
    connect(findControl<QPushButton>(w, "btnMakeJpeg"), &QPushButton::clicked, this,
            &PicturePage::btnMakeJpegClick);
    for (const char* pane : {"imgQVGA", "imgJPEGnized"}) {
        auto* label = findControl<QLabel>(w, pane);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setScaledContents(false);
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
    clampBox(m_host.window(), "edtQuality", "udQuality", 95);
}

void PicturePage::edtLimitSizeExit() {
    clampBox(m_host.window(), "edtLimitSize", "udLimitSize", 100);
}

void PicturePage::edtSizeWExit() {
    clampBox(m_host.window(), "edtSizeW", "udSizeW", std::nullopt);
}

void PicturePage::edtSizeHExit() {
    clampBox(m_host.window(), "edtSizeH", "udSizeH", std::nullopt);
}

void PicturePage::chkLimitSizeClick() {
    QWidget* w = m_host.window();
    const bool on = isChecked(w, "chkLimitSize");
    auto* box = findControl<QLineEdit>(w, "edtLimitSize");
    box->setEnabled(on);
    findControl<UpDown>(w, "udLimitSize")->setEnabled(on);
    setControlColor(box, on);
}

void PicturePage::chkRotClick() {
    QWidget* w = m_host.window();
    const bool on = isChecked(w, "chkRot");
    findControl<QWidget>(w, "radLeftRot")->setEnabled(on);
    findControl<QWidget>(w, "radRightRot")->setEnabled(on);
}

// A preset writes its size into the boxes and locks them (with their spin controls, so
// the arrows cannot change a preset's size either); "直接指定" opens them for typing.
void PicturePage::cmbSizeChange() {
    QWidget* w = m_host.window();
    auto* presets = findControl<QComboBox>(w, "cmbSize");
    const bool typed = presets->currentIndex() <= 0;
    if (!typed) {
        const FrameSize size = parseSizePreset(presets->currentText());
        findControl<UpDown>(w, "udSizeW")->setPosition(size.width);
        findControl<UpDown>(w, "udSizeH")->setPosition(size.height);
        findControl<QLineEdit>(w, "edtSizeW")->setText(QString::number(size.width));
        findControl<QLineEdit>(w, "edtSizeH")->setText(QString::number(size.height));
    }
    for (const char* name : {"edtSizeW", "edtSizeH"}) {
        auto* box = findControl<QLineEdit>(w, name);
        box->setEnabled(typed);
        setControlColor(box, typed);
    }
    for (const char* name : {"udSizeW", "udSizeH"})
        findControl<UpDown>(w, name)->setEnabled(typed);
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
    QWidget* w = m_host.window();
    edtSizeWExit();
    edtSizeHExit();
    int value = 0;
    m_targetWidth = boxNumber(findControl<QLineEdit>(w, "edtSizeW")->text(), value) ? value : 1920;
    m_targetHeight = boxNumber(findControl<QLineEdit>(w, "edtSizeH")->text(), value) ? value : 1080;
    for (const char* pane : {"imgBG", "imgQVGA", "imgJPEGnized"})
        findControl<QWidget>(w, pane)->setGeometry(0, 0, m_targetWidth, m_targetHeight);
    emit targetSizeApplied();
}

PictureSettings PicturePage::readSettings() {
    QWidget* w = m_host.window();
    PictureSettings s;
    s.targetWidth = m_targetWidth;
    s.targetHeight = m_targetHeight;
    s.fit.enlarge = isChecked(w, "chkStretchMiniImg");
    s.fit.cut = isChecked(w, "chkAllowCut");
    s.fit.direction = TurnDirection::None;
    if (isChecked(w, "chkRot") && isChecked(w, "radLeftRot"))
        s.fit.direction = TurnDirection::Left;
    else if (isChecked(w, "chkRot") && isChecked(w, "radRightRot"))
        s.fit.direction = TurnDirection::Right;
    // A value typed but not yet confirmed is clamped now.
    edtLimitSizeExit();
    edtQualityExit();
    s.jpeg.quality = findControl<UpDown>(w, "udQuality")->position();
    s.jpeg.limitSize = isChecked(w, "chkLimitSize");
    s.jpeg.limitKB = findControl<UpDown>(w, "udLimitSize")->position();
    return s;
}

void PicturePage::showFitted() {
    auto* pane = findControl<QLabel>(m_host.window(), "imgQVGA");
    pane->setPixmap(QPixmap::fromImage(toImage(m_fitted)));
    pane->repaint();
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
    findControl<QWidget>(w, "pnlAttach")->hide();
    findControl<QPlainTextEdit>(w, "memAttach")->clear();
    const PictureSettings settings = readSettings();
    findControl<QWidget>(w, "imgJPEGnized")->hide();
    findControl<QWidget>(w, "imgQVGA")->repaint();

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
    if (!writeFileReplacing(nativePath(working), result.jpeg, error)) {
        qWarning("working JPEG not written: %s", error.c_str());
        m_host.reportStatus(QStringLiteral("JPEG画像ファイルを書き込めませんでした。"),
                            MsgKind::Information);
        return JpegOutcome::WriteFailed;
    }
    if (result.ok && isChecked(w, "chkOutMadeGrp")) {
        const QString folder = findControl<QLineEdit>(w, "edtOutDir")->text();
        const QString name = findControl<QLabel>(w, "lblFileNameF")->text();
        // A failing copy is not reported; a missing folder is.
        if (copyToOutputFolder(nativePath(working), QFile::encodeName(folder).toStdString(),
                               QFile::encodeName(name).toStdString()) ==
            PictureError::OutputFolderMissing)
            dialogs().message(w, MsgKind::Information,
                              fromSjis(pictureMessage(PictureError::OutputFolderMissing)));
    }
    // The preview shows the file as a phone decodes it, not the bitmap that was encoded.
    auto* preview = findControl<QLabel>(w, "imgJPEGnized");
    preview->setPixmap(QPixmap::fromImage(QImage(working)));
    preview->show();
    preview->raise();
    preview->repaint();
    if (!findControl<QWidget>(w, "pnlWhole")->isHidden())
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
