#include "intake.h"

#include "intakefiles.h"
#include "picturepage.h"

#include "decoders/decoder.h"
#include "picture/bitmapops.h"
#include "platform/clipboard.h"
#include "platform/fspath.h"
#include "platform/updown.h"
#include "settings/profile.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

#include <exception>
#include <new>

namespace zp {
namespace {

// A web address shown on the status line is cut here: a dragged address may be very long.
constexpr int kShownAddressChars = 200;

// A bitmap offered without an encoded form, as 24 bits on white; empty when there is none
// or it is over the decoders' pixel limit.
Bitmap bitmapFromImage(QImage image) {
    if (image.isNull() || static_cast<qint64>(image.width()) * image.height() > kMaxPicturePixels)
        return {};
    image.convertTo(QImage::Format_RGBA8888);
    return flattenRgbaOnWhite(image.constBits(), image.width(), image.height(),
                              static_cast<std::size_t>(image.bytesPerLine()));
}

// The offered picture as a source: encoded data through the program's decoders, a bare
// bitmap as it is. False with the reason when there is a picture that cannot be read;
// `found` tells whether there was one at all.
bool sourceFromOffer(const OfferedData& data, const QImage& image, PictureSource& source,
                     bool& found, std::string& error) {
    found = !data.bytes.isEmpty() || !image.isNull();
    if (!data.bytes.isEmpty()) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.bytes.constData());
        return PictureSource::fromData(std::vector<std::uint8_t>(bytes, bytes + data.bytes.size()),
                                       source, error);
    }
    Bitmap bitmap = bitmapFromImage(image);
    if (bitmap.empty()) {
        error = "the offered bitmap is empty or too large";
        return false;
    }
    source = PictureSource::fromBitmap(std::move(bitmap));
    return true;
}

} // namespace

Intake::Intake(WindowHost& host, const IntakeControls& controls, PicturePage& page, QObject* parent)
    : QObject(parent), m_host(host), m_c(controls), m_page(page) {
    QWidget* w = host.window();
    for (QAbstractButton* button : {m_c.btnPaste, m_c.btnPasteFromVelmaclip})
        connect(button, &QAbstractButton::clicked, this, &Intake::btnPasteClick);
    connect(m_c.btnClear, &QAbstractButton::clicked, this, &Intake::btnClearClick);
    connect(m_c.popImgEdit_Paste, &QAction::triggered, this, &Intake::btnPasteClick);
    connect(m_c.popImgEdit_Delete, &QAction::triggered, this, &Intake::btnClearClick);
    // The whole window is the drop target. Every control sees the drag first, so each is
    // watched: an edit box would otherwise insert a dropped file's address as text. Drags
    // without a file, a picture or a web address (a list's own reordering, plain text) go on
    // to the control untouched.
    w->setAcceptDrops(true);
    w->installEventFilter(this);
    for (QWidget* child : w->findChildren<QWidget*>())
        child->installEventFilter(this);
}

bool Intake::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto* e = static_cast<QDropEvent*>(event);
    const QMimeData* mime = e->mimeData();
    const QString file = offeredFile(mime);
    const bool data = file.isEmpty() && mime && (offersPictureData(mime) || mime->hasImage());
    const QString web = file.isEmpty() && !data ? offeredWebPicture(mime) : QString();
    if (file.isEmpty() && !data && web.isEmpty())
        return QObject::eventFilter(watched, event);
    e->setDropAction(Qt::CopyAction);
    e->accept();
    if (type != QEvent::Drop)
        return true;
    if (QWidget* w = m_host.window()) {
        w->raise();
        w->activateWindow();
    }
    // The program the drop came from waits until the drop returns: the picture is made (and
    // perhaps sent) after that, from the event loop. Data is copied now, while it is offered.
    if (!file.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this, file] { takeDroppedFile(file); }, Qt::QueuedConnection);
    } else if (data) {
        QMetaObject::invokeMethod(
            this, [this, offer = takeOffer(mime)] { takeDroppedData(offer); },
            Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(
            this, [this, web] { reportWebAddress(web); }, Qt::QueuedConnection);
    }
    return true;
}

void Intake::takeDroppedFile(const QString& path) {
    if (m_host.sendInProgress()) {
        m_host.reportStatus(QStringLiteral("送信中のため、ドロップされたファイルは取り込みません"
                                           "でした：") +
                                path,
                            MsgKind::None);
        return;
    }
    openPictureFile(path, true);
}

void Intake::takeDroppedData(const Offer& offer) {
    if (m_host.sendInProgress()) {
        m_host.reportStatus(
            QStringLiteral("送信中のため、ドロップされた画像は取り込みませんでした。"),
            MsgKind::None);
        return;
    }
    takeOfferedPicture(offer, false);
}

// Nothing is downloaded: the user saves the picture and drops the file.
void Intake::reportWebAddress(const QString& address) {
    QString shown = address;
    if (shown.size() > kShownAddressChars)
        shown = shown.left(kShownAddressChars) + QStringLiteral("…");
    m_host.reportStatus(QStringLiteral("Web上の画像は、保存してから取り込んでください：") + shown,
                        MsgKind::None);
}

Intake::Offer Intake::takeOffer(const QMimeData* mime) {
    Offer offer;
    offer.data = offeredPictureData(mime);
    if (offer.data.bytes.isEmpty())
        offer.bitmap = offeredBitmap(mime);
    return offer;
}

// A file a file manager copied is taken in as a drop of that file would be, before any
// picture data offered beside it (which may be a reduced preview of it).
bool Intake::pasteFile(const QMimeData* mime) {
    const QString file = offeredFile(mime);
    if (file.isEmpty())
        return false;
    openPictureFile(file, true);
    return true;
}

void Intake::btnPasteClick() {
    if (m_host.sendInProgress()) {
        m_host.reportStatus(QStringLiteral("送信中のため、貼り付けは行いませんでした。"),
                            MsgKind::None);
        return;
    }
    const QMimeData* mime = clipboardContents();
    // The clipping tool always offers its clipping as a picture.
    const bool velmaclip = sender() && sender() == m_c.btnPasteFromVelmaclip;
    if (!velmaclip && pasteFile(mime))
        return;
    if (takeOfferedPicture(takeOffer(mime), velmaclip) || velmaclip)
        return;
    // Nothing to paste: silently nothing, unless only a picture's web address was copied.
    const QString web = offeredWebPicture(mime);
    if (!web.isEmpty())
        reportWebAddress(web);
}

bool Intake::takeOfferedPicture(const Offer& offer, bool velmaclip) {
    PictureSource source;
    bool found = false;
    std::string error;
    if (!sourceFromOffer(offer.data, offer.bitmap, source, found, error)) {
        if (!found)
            return false;
        qWarning(
            "offered picture (%s) not taken in: %s",
            qPrintable(offer.data.format.isEmpty() ? QStringLiteral("bitmap") : offer.data.format),
            error.c_str());
        m_host.reportStatus(QStringLiteral("画像データを読み込めませんでした。"), MsgKind::None);
        return true;
    }
    if (velmaclip)
        rereadVelmaclipSettings();
    m_page.setSource(std::move(source));
    m_host.setSourceFilePath(QString());
    m_host.setSourceFileName(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
    const bool ok = m_page.makeJpeg(true);
    if (ok && m_c.chkAutoSend->isChecked())
        autoSend();
    return true;
}

void Intake::rereadVelmaclipSettings() {
    ProfileFile profile(toPathText(m_host.settingsFilePath()));
    if (!profile.load())
        qWarning("settings file not read: %s", profile.error().c_str());
    const struct {
        const char* section;
        const char* key;
        int def;
        UpDown* updown;
        QLineEdit* edit;
    } values[] = {{"jpeg", "quality", 90, m_c.udQuality, m_c.edtQuality},
                  {"size", "width", 132, m_c.udSizeW, m_c.edtSizeW},
                  {"size", "height", 176, m_c.udSizeH, m_c.edtSizeH}};
    for (const auto& v : values) {
        v.updown->setPosition(profile.readInt(v.section, v.key, v.def));
        v.edit->setText(QString::number(v.updown->position()));
    }
    m_c.cmbSize->setCurrentIndex(
        PicturePage::findSizePreset(m_c.cmbSize, m_c.udSizeW->position(), m_c.udSizeH->position()));
    m_page.cmbSizeChange();
}

bool Intake::loadPicture(const QString& path) {
    // Only reading the file into a source may fail into an attachment; what comes after
    // (the working JPEG, a send) reports its own failures.
    try {
        if (!isPictureFileName(path))
            return false;
        PictureSource source;
        std::string error;
        if (!PictureSource::fromFile(toFsPath(path), source, error)) {
            qWarning("not taken as a picture: %s", error.c_str());
            return false;
        }
        m_page.setSource(std::move(source));
        return true;
    } catch (const std::exception& e) {
        qWarning("not taken as a picture: %s", e.what());
        return false;
    }
}

void Intake::openPictureFile(const QString& path, bool allowAutoSend) {
    const IntakeFile file = resolveIntakeFile(path);
    if (file.path.isEmpty()) {
        // Nothing to attach: what was there stays.
        m_host.reportStatus(file.reason, MsgKind::None);
        return;
    }
    if (!loadPicture(file.path)) {
        attachNonPicture(file.path);
        return;
    }
    m_host.reportStatus(QStringLiteral("ファイルドロップ：") + file.path, MsgKind::None);
    m_host.setSourceFileName(file.path);
    m_host.setSourceFilePath(file.path);
    const JpegOutcome outcome = m_page.makeJpegOutcome(true, false);
    if (outcome == JpegOutcome::DecodeFailed) {
        attachNonPicture(file.path);
        return;
    }
    if (outcome == JpegOutcome::Made && allowAutoSend && m_c.chkAutoSend->isChecked())
        autoSend();
}

void Intake::autoSend() {
    if (m_host.sendInProgress()) {
        m_host.reportStatus(QStringLiteral("送信中のため、自動送信は行いませんでした。"),
                            MsgKind::None);
        return;
    }
    // A failing send is the send's failure: the picture stays as it is.
    try {
        if (m_send)
            m_send();
    } catch (const std::exception& e) {
        m_host.reportStatus(QStringLiteral("自動送信に失敗しました：") +
                                QString::fromLocal8Bit(e.what()),
                            MsgKind::Error);
    } catch (...) {
        m_host.reportStatus(QStringLiteral("自動送信に失敗しました。"), MsgKind::Error);
    }
}

void Intake::attachNonPicture(const QString& path) {
    btnClearClick();
    m_host.setSourceFilePath(path);
    m_c.pnlAttach->show();
    m_c.memAttach->setPlainText(path);
    m_host.reportStatus(QStringLiteral("添付ファイル：") + path, MsgKind::None);
    m_c.pnlWhole->hide();
}

void Intake::btnClearClick() {
    m_c.pnlAttach->hide();
    m_page.clearPicture();
    m_c.imgQVGA->clear();
    m_c.imgJPEGnized->clear();
    m_c.imgJPEGnized->hide();
    m_c.imgWhole->setPixmap(m_c.imgBG->pixmap());
    const QString working = m_host.workingJpegPath();
    if (!working.isEmpty() && QFile::exists(working))
        QFile::remove(working);
    m_page.applyTargetSize();
    // The confirmation of a send survives the detaching that may follow it.
    if (m_host.statusText() != QStringLiteral("メールを送信しました"))
        m_host.reportStatus(QString(), MsgKind::None);
}

} // namespace zp
