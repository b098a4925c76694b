#include "preview.h"

#include "picturepage.h"

#include "picture/bitmapops.h"
#include "picture/previewlayout.h"
#include "platform/controlevents.h"
#include "platform/dialogs.h"
#include "platform/folderbox.h"
#include "platform/updown.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <iterator>
#include <utility>

namespace zp {
namespace {

// The scroll box's measures assume scroll bars 16 pixels across, whatever the style.
class ScrollBarStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_ScrollBarExtent)
            return 16;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// A size box as the editing commands compare it: a box without a number counts as the
// spin maximum; a number is taken as the next applyTargetSize will clamp it.
int boxSize(const QLineEdit* box, const UpDown* spin) {
    bool ok = false;
    const int n = box->text().trimmed().toInt(&ok);
    if (!ok)
        return spin->maximum();
    return std::clamp(n, spin->minimum(), spin->maximum());
}

} // namespace

Preview::Preview(WindowHost& host, const PreviewControls& controls, PicturePage& page,
                 QObject* parent)
    : QObject(parent), m_host(host), m_c(controls), m_page(page),
      m_outDir(new FolderBox(
          {m_c.edtOutDir, m_c.btnOutDirSelect, m_c.btnOutFolderOpen},
          QStringLiteral("指定された生成画像保存フォルダは存在しません。"),
          [this] { return m_c.chkOutMadeGrp->isChecked(); }, this)) {
    connect(m_outDir, &FolderBox::moveFocusOn, this, &Preview::moveFocusOn);
    connect(m_c.popImgEdit_Copy, &QAction::triggered, this, &Preview::btnCopyClick);
    for (QAction* a : {m_c.popImgEdit_UD, m_c.popImgEdit_LR, m_c.popImgEdit_Rot180})
        connect(a, &QAction::triggered, this, &Preview::btnRevClick);
    for (QAction* a : m_c.popWholeSize_n)
        connect(a, &QAction::triggered, this, &Preview::popWholeSize_nClick);
    onClick(m_c.lblAutoSendCaution, this, [this] { lblAutoSendCautionClick(); });
    connect(m_c.chkOutMadeGrp, &QAbstractButton::clicked, this, &Preview::chkOutMadeGrpClick);
    QLineEdit* outDir = m_c.edtOutDir;
    onEnter(outDir, this, [this] { edtOutDirEnter(); });
    onExit(outDir, this, [this] { edtOutDirExit(); });
    onEvent(outDir, QEvent::KeyPress, this,
            [this](QEvent* e) { return edtOutDirKeyPress(static_cast<QKeyEvent*>(e)); });
    connect(m_c.btnOutDirSelect, &QAbstractButton::clicked, this, &Preview::btnOutDirSelectClick);
    connect(m_c.btnOutFolderOpen, &QAbstractButton::clicked, this, &Preview::btnOutFolderOpenClick);
    wirePointer();
    // A two-pixel lowered frame around the panes, and scroll bars of 16 pixels: the
    // scroll box's sizes (frame + 4, frame + 20) show exactly the frame.
    QScrollArea* box = m_c.sbImageScroll;
    box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    box->setLineWidth(2);
    auto* barStyle = new ScrollBarStyle;
    barStyle->setParent(this);
    for (QScrollBar* bar : {box->horizontalScrollBar(), box->verticalScrollBar()}) {
        bar->setStyle(barStyle);
        bar->setSingleStep(kWheelStep);
    }
    // Moves without a button reach the panes too, so a pan whose release went elsewhere
    // (to a menu) ends at the next move.
    for (QLabel* pane : {m_c.imgBG, m_c.imgQVGA, m_c.imgJPEGnized, m_c.imgWhole})
        pane->setMouseTracking(true);
}

void Preview::wirePointer() {
    using PaneHandler = bool (Preview::*)(QWidget*, QMouseEvent*);
    const std::pair<QEvent::Type, PaneHandler> paneEvents[] = {
        {QEvent::MouseButtonPress, &Preview::imgJPEGnizedMouseDown},
        {QEvent::MouseMove, &Preview::imgJPEGnizedMouseMove},
        {QEvent::MouseButtonRelease, &Preview::imgJPEGnizedMouseUp}};
    for (QLabel* pane : {m_c.imgBG, m_c.imgQVGA, m_c.imgJPEGnized}) {
        for (auto [type, handler] : paneEvents)
            onEvent(pane, type, this, [this, pane, handler](QEvent* e) {
                return (this->*handler)(pane, static_cast<QMouseEvent*>(e));
            });
    }
    using WholeHandler = bool (Preview::*)(QMouseEvent*);
    const std::pair<QEvent::Type, WholeHandler> wholeEvents[] = {
        {QEvent::MouseButtonPress, &Preview::imgWholeMouseDown},
        {QEvent::MouseMove, &Preview::imgWholeMouseMove},
        {QEvent::MouseButtonRelease, &Preview::imgWholeMouseUp}};
    QLabel* whole = m_c.imgWhole;
    for (auto [type, handler] : wholeEvents)
        onEvent(whole, type, this, [this, handler](QEvent* e) {
            return (this->*handler)(static_cast<QMouseEvent*>(e));
        });
    // The window's wheel, wherever the pointer is; a turn toward the user is "down".
    onWindowEvent(m_host.window(), QEvent::Wheel, this, [this](QEvent* e) {
        const auto* wheel = static_cast<QWheelEvent*>(e);
        const int dy = wheel->angleDelta().y();
        const QPoint at = wheel->globalPosition().toPoint();
        if (dy < 0)
            return FormMouseWheelDown(at);
        if (dy > 0)
            return FormMouseWheelUp(at);
        return false;
    });
}

void Preview::layoutPreview() {
    const int width = m_page.targetWidth();
    const int height = m_page.targetHeight();
    QScrollArea* box = m_c.sbImageScroll;
    box->horizontalScrollBar()->setValue(0);
    box->verticalScrollBar()->setValue(0);
    const PreviewLayout l = zp::layoutPreview(width, height);
    const bool vertical = l.bars == ScrollBars::Vertical || l.bars == ScrollBars::Both;
    const bool horizontal = l.bars == ScrollBars::Horizontal || l.bars == ScrollBars::Both;
    box->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    box->setGeometry(l.scrollBox.left, l.scrollBox.top, l.scrollBox.width, l.scrollBox.height);
    if (QWidget* contents = box->widget())
        contents->resize(width, height);
    for (QLabel* pane : {m_c.imgBG, m_c.imgQVGA, m_c.imgJPEGnized})
        pane->setGeometry(0, 0, width, height);
    box->horizontalScrollBar()->setValue(0);
    box->verticalScrollBar()->setValue(0);
    QWidget* whole = m_c.pnlWhole;
    // With a file attached the panel of its path takes the area; the overview would cover it.
    if (l.showWhole && m_c.pnlAttach->isHidden()) {
        updateWholePreview();
        whole->show();
        whole->raise();
    } else {
        whole->hide();
    }
}

void Preview::updateWholePreview() {
    const int frameW = m_page.targetWidth();
    const int frameH = m_page.targetHeight();
    const QSize box = m_c.sbImageScroll->size();
    QWidget* panel = m_c.pnlWhole;
    const PanelRect r = wholePanelRect(m_wholePreviewSize, box.width(), box.height(), frameW,
                                       frameH, panel->x(), panel->y());
    panel->setGeometry(r.left, r.top, r.width, r.height);
    QLabel* image = m_c.imgWhole;
    image->setGeometry(1, 1, r.width - 2, r.height - 2);
    // The whole frame: the placeholder over all of it, the JPEG in its place at the same
    // scale as the frame. No viewport is marked.
    // Both are scaled by area averaging (smooth scaling), as the panes' pictures are made,
    // straight to the screen's pixels, so that a scaled screen does not enlarge them again.
    const qreal dpr = image->devicePixelRatio();
    const auto device = [dpr](int logical) { return std::max(1, qRound(logical * dpr)); };
    QImage drawn(device(r.width), device(r.height), QImage::Format_RGB32);
    drawn.fill(Qt::lightGray);
    QPainter p(&drawn);
    const QPixmap placeholder = m_c.imgBG->pixmap();
    if (!placeholder.isNull())
        p.drawPixmap(
            0, 0,
            placeholder.scaled(drawn.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    const QPixmap jpeg = m_c.imgJPEGnized->pixmap();
    if (!jpeg.isNull()) {
        const PanelSize s =
            wholeJpegSize(jpeg.width(), jpeg.height(), r.width, r.height, frameW, frameH);
        if (s.width > 0 && s.height > 0)
            p.drawPixmap(0, 0,
                         jpeg.scaled(device(s.width), device(s.height), Qt::IgnoreAspectRatio,
                                     Qt::SmoothTransformation));
    }
    p.end();
    drawn.setDevicePixelRatio(dpr);
    image->setPixmap(QPixmap::fromImage(drawn));
}

bool Preview::imgJPEGnizedMouseDown(QWidget* pane, QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_panning = true;
        m_panGrab = event->position().toPoint();
        return true;
    }
    if (event->button() == Qt::RightButton) {
        // The JPEG pane lies on top once a JPEG exists; only then is there something to
        // copy, detach or turn.
        const bool onJpeg = pane == m_c.imgJPEGnized;
        showEditMenu(onJpeg, event->globalPosition().toPoint());
        return true;
    }
    return false;
}

void Preview::showEditMenu(bool onJpeg, QPoint globalPos) {
    for (QAction* a : {m_c.popImgEdit_Copy, m_c.popImgEdit_Delete, m_c.popImgEdit_UD,
                       m_c.popImgEdit_LR, m_c.popImgEdit_Rot180})
        a->setEnabled(onJpeg);
    m_c.popImgEdit_Paste->setEnabled(true);
    m_c.popImgEdit->popup(globalPos);
}

bool Preview::imgJPEGnizedMouseMove(QWidget*, QMouseEvent* event) {
    if (!m_panning)
        return false;
    if (!(event->buttons() & Qt::LeftButton)) {
        // The release went elsewhere; panning must not stick to the pointer.
        m_panning = false;
        return false;
    }
    const QPoint delta = event->position().toPoint() - m_panGrab;
    QScrollArea* box = m_c.sbImageScroll;
    QScrollBar* h = box->horizontalScrollBar();
    QScrollBar* v = box->verticalScrollBar();
    h->setValue(panScrollPosition(h->value(), delta.x()));
    v->setValue(panScrollPosition(v->value(), delta.y()));
    return true;
}

bool Preview::imgJPEGnizedMouseUp(QWidget*, QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return false;
    m_panning = false;
    return true;
}

bool Preview::wheelStep(QPoint globalPos, int direction) {
    QScrollArea* box = m_c.sbImageScroll;
    const QPoint p = box->parentWidget()->mapFromGlobal(globalPos);
    const PanelRect r{box->x(), box->y(), box->width(), box->height()};
    if (!r.containsStrictly({p.x(), p.y()}))
        return false;
    QScrollBar* v = box->verticalScrollBar();
    v->setValue(v->value() + direction * kWheelStep);
    return true;
}

bool Preview::FormMouseWheelDown(QPoint globalPos) {
    return wheelStep(globalPos, 1);
}

bool Preview::FormMouseWheelUp(QPoint globalPos) {
    return wheelStep(globalPos, -1);
}

void Preview::btnCopyClick() {
    if (m_page.fitted().empty())
        return;
    QGuiApplication::clipboard()->setImage(PicturePage::toImage(m_page.fitted()));
}

// A size typed or chosen but not yet applied would be taken by the re-encoding only half
// (the panes, not the picture): the user is asked to drop it first.
bool Preview::confirmTargetSize() {
    QWidget* w = m_host.window();
    const int tw = m_page.targetWidth();
    const int th = m_page.targetHeight();
    if (boxSize(m_c.edtSizeW, m_c.udSizeW) == tw && boxSize(m_c.edtSizeH, m_c.udSizeH) == th)
        return true;
    const QString question = QStringLiteral("画像サイズの変更後、画像を再生成していませんが\n"
                                            "画像サイズの変更を取り消してよろしいですか？");
    if (dialogs().message(w, MsgKind::Confirmation, question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return false;
    const struct {
        UpDown* updown;
        QLineEdit* edit;
        int value;
    } sizes[] = {{m_c.udSizeW, m_c.edtSizeW, tw}, {m_c.udSizeH, m_c.edtSizeH, th}};
    for (const auto& s : sizes) {
        s.updown->setPosition(s.value);
        s.edit->setText(QString::number(s.value));
    }
    m_c.cmbSize->setCurrentIndex(PicturePage::findSizePreset(m_c.cmbSize, tw, th));
    m_page.cmbSizeChange();
    return true;
}

void Preview::btnRevClick() {
    const QObject* from = sender();
    if (!from || m_page.fitted().empty())
        return;
    if (from != m_c.popImgEdit_UD && from != m_c.popImgEdit_LR && from != m_c.popImgEdit_Rot180)
        return;
    if (!confirmTargetSize())
        return;
    // Pixels are moved one for one; nothing is resampled.
    Bitmap& fitted = m_page.fitted();
    if (from != m_c.popImgEdit_LR)
        flipTopBottom(fitted);
    if (from != m_c.popImgEdit_UD)
        flipLeftRight(fitted);
    // Encoded again as it is; an edit never sends.
    m_page.makeJpeg(false);
}

bool Preview::imgWholeMouseDown(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_wholeDragging = true;
        m_wholeGrab = event->position().toPoint();
        return true;
    }
    if (event->button() == Qt::RightButton) {
        m_c.popWholeSize->popup(event->globalPosition().toPoint());
        return true;
    }
    return false;
}

bool Preview::imgWholeMouseMove(QMouseEvent* event) {
    if (!m_wholeDragging)
        return false;
    if (!(event->buttons() & Qt::LeftButton)) {
        m_wholeDragging = false;
        return false;
    }
    QWidget* panel = m_c.pnlWhole;
    const QPoint p = panel->parentWidget()->mapFromGlobal(event->globalPosition().toPoint());
    const PanelPoint to = dragWholePanel({p.x(), p.y()}, {m_wholeGrab.x(), m_wholeGrab.y()},
                                         panel->width(), panel->height());
    panel->move(to.x, to.y);
    return true;
}

bool Preview::imgWholeMouseUp(QMouseEvent*) {
    const bool was = m_wholeDragging;
    m_wholeDragging = false;
    return was;
}

void Preview::popWholeSize_nClick() {
    const QObject* from = sender();
    const auto* item =
        std::find(std::begin(m_c.popWholeSize_n), std::end(m_c.popWholeSize_n), from);
    if (!from || item == std::end(m_c.popWholeSize_n))
        return;
    setWholePreviewSize(static_cast<int>(item - std::begin(m_c.popWholeSize_n)) + 1);
    updateWholePreview();
}

void Preview::setWholePreviewSize(int size) {
    m_wholePreviewSize = (size >= 1 && size <= 3) ? size : 1;
}

void Preview::lblAutoSendCautionClick() {
    const QString text =
        QStringLiteral("“画像の貼付・ドロップ後に自動で送信”のチェックをオンにすると\n"
                       "画像の貼付後、またはドロップ後に画像を作成後すぐにメールを送信します。\n"
                       "\n"
                       "意図しないメールの送信にご注意ください。\n"
                       "\n"
                       "起動していないzoripostのアイコンにファイルをドロップした場合、\n"
                       "および“今すぐ適用(X)”ボタンを押した場合には自動送信しません。");
    dialogs().message(m_host.window(), MsgKind::Information, text, MsgButtons::Ok);
}

void Preview::chkOutMadeGrpClick() {
    m_outDir->setEnabled(m_c.chkOutMadeGrp->isChecked());
}

void Preview::edtOutDirEnter() {
    m_outDir->enter();
}

void Preview::edtOutDirExit() {
    m_outDir->exit();
}

bool Preview::edtOutDirKeyPress(QKeyEvent* event) {
    return m_outDir->keyPress(event);
}

void Preview::btnOutDirSelectClick() {
    m_outDir->selectClick();
}

void Preview::btnOutFolderOpenClick() {
    m_outDir->openClick();
}

} // namespace zp
