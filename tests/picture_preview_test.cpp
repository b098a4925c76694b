// The preview panes on the real main window: the scroll box and its scroll bars for each
// frame, the overview with its sizes and its drag, panning, the wheel, the context menus,
// the editing commands with their confirmation, copying, and the output-folder controls.
#include "picture/bitmapops.h"
#include "picture/previewlayout.h"
#include "picture/ui/intake.h"
#include "picture/ui/preview.h"
#include "picture_window_support.h"
#include "support/rows.h"
#include "support/urlcatcher.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>

using zp::findControl;
using zp::MsgKind;

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using zp::test::PrintTo;

class PreviewTest : public zp::test::PictureWindowTest {
protected:
    zp::Preview* preview() { return window->findChild<zp::Preview*>(); }
    QScrollArea* box() { return ctl<QScrollArea>("sbImageScroll"); }
    // Applies a frame and takes in a picture of the given size.
    void takeIn(int frameW, int frameH, int w, int h) {
        setFrame(frameW, frameH);
        const QString file =
            writePicture(QStringLiteral("p.png"), zp::test::noisyImage(w, h, 0, 3));
        window->findChild<zp::Intake*>()->openPictureFile(file, false);
        ASSERT_TRUE(jpegShown());
    }
    void mouse(QWidget* on, QEvent::Type type, QPoint local, Qt::MouseButton button,
               Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(local), QPointF(on->mapToGlobal(local)), button, held,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(on, &e);
    }
    // A move to a point given in the coordinates of the main panel.
    void moveOnPanel(QWidget* on, QPoint panelPoint, Qt::MouseButtons held) {
        QWidget* panel = ctl<QWidget>("pnlMain");
        const QPoint global = panel->mapToGlobal(panelPoint);
        QMouseEvent e(QEvent::MouseMove, QPointF(on->mapFromGlobal(global)), QPointF(global),
                      Qt::NoButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(on, &e);
    }
    QPoint scroll() {
        return {box()->horizontalScrollBar()->value(), box()->verticalScrollBar()->value()};
    }
};

// --- layout -------------------------------------------------------------------------------

struct FrameCase {
    int w, h;
    QSize viewport; // what of the frame is visible
    bool hBar, vBar;
    QSize whole;           // the overview panel; empty when hidden
    bool attached = false; // a file that is no picture is attached; "画像を再生成" lays out
};

class PreviewLayoutOnWindow : public PreviewTest,
                              public ::testing::WithParamInterface<FrameCase> {};

TEST_P(PreviewLayoutOnWindow, ShowsTheFrameAtItsPixelSize) {
    const FrameCase& c = GetParam();
    setFrame(c.w, c.h);
    box()->verticalScrollBar()->setValue(30);
    if (c.attached) {
        window->findChild<zp::Intake*>()->openPictureFile(
            writeFile(QStringLiteral("notes.txt"), "not a picture\n"), false);
        ctl<QAbstractButton>("btnMakeJpeg")->click();
        EXPECT_TRUE(ctl<QWidget>("pnlAttach")->isVisible());
    } else {
        page->applyTargetSize();
    }
    const zp::PreviewLayout l = zp::layoutPreview(c.w, c.h);
    const zp::PanelRect& r = l.scrollBox;
    EXPECT_EQ(box()->geometry(), QRect(r.left, r.top, r.width, r.height));
    EXPECT_EQ(box()->viewport()->size(), c.viewport);
    EXPECT_EQ(box()->horizontalScrollBar()->isVisible(), c.hBar);
    EXPECT_EQ(box()->verticalScrollBar()->isVisible(), c.vBar);
    EXPECT_EQ(scroll(), QPoint(0, 0));
    for (const char* pane : {"imgBG", "imgQVGA", "imgJPEGnized"})
        EXPECT_EQ(ctl<QWidget>(pane)->geometry(), QRect(0, 0, c.w, c.h)) << pane;
    auto* whole = ctl<QWidget>("pnlWhole");
    EXPECT_EQ(whole->isVisible(), !c.whole.isEmpty());
    if (!c.whole.isEmpty()) {
        EXPECT_EQ(whole->size(), c.whole);
        EXPECT_EQ(ctl<QWidget>("imgWhole")->geometry(),
                  QRect(1, 1, c.whole.width() - 2, c.whole.height() - 2));
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, PreviewLayoutOnWindow,
                         ::testing::Values(FrameCase{240, 320, {240, 320}, false, false, {}},
                                           FrameCase{132, 176, {132, 176}, false, false, {}},
                                           FrameCase{256, 320, {256, 320}, false, false, {}},
                                           FrameCase{240, 400, {240, 320}, false, true, {50, 83}},
                                           FrameCase{320, 240, {256, 240}, true, false, {67, 50}},
                                           FrameCase{480, 640, {240, 304}, true, true, {62, 83}},
                                           FrameCase{1920, 1080, {240, 304}, true, true, {67, 38}},
                                           FrameCase{480, 640, {240, 304}, true, true, {}, true}));

// --- the overview -------------------------------------------------------------------------

TEST_F(PreviewTest, OverviewSizeStepsAreChosenFromItsMenuAndSaved) {
    setFrame(480, 640);
    page->applyTargetSize();
    const struct {
        const char* item;
        QSize panel;
    } rows[] = {{"popWholeSize_3", {184, 245}},
                {"popWholeSize_2", {123, 164}},
                {"popWholeSize_1", {62, 83}},
                {"popWholeSize_2", {123, 164}}};
    for (const auto& r : rows) {
        findControl<QAction>(window.get(), r.item)->trigger();
        EXPECT_EQ(ctl<QWidget>("pnlWhole")->size(), r.panel) << r.item;
        // Pushed back inside the right and bottom limits.
        EXPECT_LE(ctl<QWidget>("pnlWhole")->geometry().right() + 1, zp::kWholeRightLimit);
        EXPECT_LE(ctl<QWidget>("pnlWhole")->geometry().bottom() + 1, zp::kWholeBottomLimit);
    }
    EXPECT_EQ(window->wholePreviewSize(), 2);
    EXPECT_TRUE(findControl<QAction>(window.get(), "popWholeSize_2")->isChecked());
    window->close();
    QFile ini(path(QStringLiteral("zoripost.ini")));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("wholesize=2"));
}

TEST_F(PreviewTest, OverviewIsDraggedWithinItsLimits) {
    setFrame(480, 640);
    page->applyTargetSize();
    auto* image = ctl<QWidget>("imgWhole");
    auto* panel = ctl<QWidget>("pnlWhole");
    mouse(image, QEvent::MouseButtonPress, {5, 6}, Qt::LeftButton, Qt::LeftButton);
    const struct {
        QPoint pointer; // in main-panel coordinates
        QPoint panel;
    } rows[] = {{{100, 120}, {94, 113}}, {{-300, -300}, {11, 15}}, {{16, 21}, {11, 15}},
                {{18, 23}, {12, 16}},    {{900, 900}, {196, 243}}, {{201, 249}, {195, 242}},
                {{100, 120}, {94, 113}}};
    for (const auto& r : rows) {
        moveOnPanel(image, r.pointer, Qt::LeftButton);
        EXPECT_EQ(panel->pos(), r.panel) << r.pointer.x() << "," << r.pointer.y();
        EXPECT_EQ(panel->size(), QSize(62, 83));
    }
    mouse(image, QEvent::MouseButtonRelease, {5, 6}, Qt::LeftButton, Qt::NoButton);
    moveOnPanel(image, {150, 150}, Qt::LeftButton);
    EXPECT_EQ(panel->pos(), QPoint(94, 113)) << "released: no more dragging";
    // The position survives a redraw.
    page->applyTargetSize();
    EXPECT_EQ(panel->pos(), QPoint(94, 113));
    // A right press opens the size menu.
    mouse(image, QEvent::MouseButtonPress, {5, 6}, Qt::RightButton, Qt::RightButton);
    auto* menu = findControl<QMenu>(window.get(), "popWholeSize");
    EXPECT_TRUE(menu->isVisible());
    menu->close();
}

// --- panning and the wheel ---------------------------------------------------------------

TEST_F(PreviewTest, PanningFollowsTheLeftButtonOnly) {
    takeIn(480, 640, 480, 640);
    auto* pane = ctl<QWidget>("imgJPEGnized");
    mouse(pane, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    mouse(pane, QEvent::MouseMove, {80, 70}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(scroll(), QPoint(20, 30));
    // Back past the start: never negative.
    mouse(pane, QEvent::MouseMove, {150, 200}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(scroll(), QPoint(0, 0));
    mouse(pane, QEvent::MouseMove, {60, 50}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(scroll(), QPoint(40, 50));
    // The release went elsewhere: a move without the button ends panning, and a later
    // move with the button held but no new press does not pan.
    mouse(pane, QEvent::MouseMove, {30, 30}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(scroll(), QPoint(40, 50));
    mouse(pane, QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(scroll(), QPoint(40, 50));
    // A release ends it too.
    mouse(pane, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    mouse(pane, QEvent::MouseButtonRelease, {100, 100}, Qt::LeftButton, Qt::NoButton);
    mouse(pane, QEvent::MouseMove, {90, 90}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(scroll(), QPoint(40, 50));
}

TEST_F(PreviewTest, WheelStepsOnlyStrictlyInsideTheScrollBox) {
    setFrame(480, 640);
    page->applyTargetSize();
    QWidget* panel = ctl<QWidget>("pnlMain");
    const QRect r = box()->geometry();
    const struct {
        QPoint at;
        bool down;
        bool handled;
        int after;
    } rows[] = {{{r.left() + 1, r.top() + 50}, true, true, 8},
                {{r.left() + 1, r.top() + 50}, true, true, 16},
                {{r.left() + 50, r.top() + 50}, false, true, 8},
                {{r.left(), r.top() + 50}, true, false, 8},
                {{r.left() + r.width(), r.top() + 50}, true, false, 8},
                {{r.left() + 50, r.top()}, true, false, 8},
                {{r.left() + 50, r.top() + r.height() - 1}, true, true, 16},
                {{r.left() + 50, r.top() + r.height()}, true, false, 16},
                {{400, 100}, true, false, 16}};
    for (const auto& row : rows) {
        const QPoint global = panel->mapToGlobal(row.at);
        const bool handled =
            row.down ? preview()->FormMouseWheelDown(global) : preview()->FormMouseWheelUp(global);
        EXPECT_EQ(handled, row.handled) << row.at.x() << "," << row.at.y();
        EXPECT_EQ(box()->verticalScrollBar()->value(), row.after);
    }
    // A real wheel turn toward the user over the overview, as the platform window gets it,
    // moves the panes too.
    auto* overview = ctl<QWidget>("imgWhole");
    const QPoint at = overview->mapTo(window.get(), QPoint(5, 5));
    QWheelEvent wheel(QPointF(at), QPointF(window->mapToGlobal(at)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window->windowHandle(), &wheel);
    EXPECT_EQ(box()->verticalScrollBar()->value(), 24);
}

// --- the context menu ---------------------------------------------------------------------

TEST_F(PreviewTest, EditMenuOffersEditingOnlyOverAJpeg) {
    auto* menu = findControl<QMenu>(window.get(), "popImgEdit");
    const char* editing[] = {"popImgEdit_Copy", "popImgEdit_Delete", "popImgEdit_UD",
                             "popImgEdit_LR", "popImgEdit_Rot180"};
    for (bool withPicture : {false, true}) {
        if (withPicture)
            takeIn(240, 320, 60, 40);
        auto* pane = ctl<QWidget>(withPicture ? "imgJPEGnized" : "imgQVGA");
        mouse(pane, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
        EXPECT_TRUE(menu->isVisible());
        for (const char* item : editing)
            EXPECT_EQ(findControl<QAction>(window.get(), item)->isEnabled(), withPicture) << item;
        EXPECT_TRUE(findControl<QAction>(window.get(), "popImgEdit_Paste")->isEnabled());
        menu->close();
    }
}

// --- editing ------------------------------------------------------------------------------

TEST_F(PreviewTest, FlipsMovePixelsOneForOneAndReencode) {
    takeIn(240, 320, 60, 40);
    check("chkAutoSend", true);
    const zp::Bitmap original = page->fitted();
    auto plain = [&](const char* command) {
        zp::Bitmap b = original;
        if (std::string_view(command) != "popImgEdit_LR")
            zp::flipTopBottom(b);
        if (std::string_view(command) != "popImgEdit_UD")
            zp::flipLeftRight(b);
        return b;
    };
    auto* debug = ctl<QPlainTextEdit>("memoDebug");
    for (const char* command : {"popImgEdit_UD", "popImgEdit_LR", "popImgEdit_Rot180"}) {
        QFile::remove(working());
        const int lines = debug->blockCount();
        findControl<QAction>(window.get(), command)->trigger();
        const zp::Bitmap expected = plain(command);
        EXPECT_EQ(page->fitted().pixels, expected.pixels) << command;
        // The quality loop ran again and wrote the working JPEG of the edited bitmap.
        EXPECT_GT(debug->blockCount(), lines);
        EXPECT_TRUE(status().startsWith(QStringLiteral("ファイルサイズ")));
        const QImage jpeg(working());
        ASSERT_FALSE(jpeg.isNull()) << command;
        const QColor got = jpeg.pixelColor(0, 0);
        const QColor want = QColor::fromRgb(zp::test::pixelOf(expected, 0, 0));
        EXPECT_LE(std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()), 24)
            << command;
        // Undo for the next row.
        findControl<QAction>(window.get(), command)->trigger();
        EXPECT_EQ(page->fitted().pixels, original.pixels) << command << " twice";
    }
    EXPECT_EQ(window->sends, 0);
}

struct ConfirmCase {
    const char* typedW;
    const char* typedH;
    zp::MsgAnswer answer;
    bool asked;
    bool edited;
    const char* boxW; // after the command
    const char* boxH;
    int preset;
};

class EditConfirmation : public PreviewTest, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(EditConfirmation, AsksWhenEitherTypedSideDiffers) {
    const ConfirmCase& c = GetParam();
    takeIn(240, 320, 60, 40);
    const zp::Bitmap original = page->fitted();
    ctl<QLineEdit>("edtSizeW")->setText(QString::fromUtf8(c.typedW));
    ctl<QLineEdit>("edtSizeH")->setText(QString::fromUtf8(c.typedH));
    dialogs.answer = c.answer;
    dialogs.messages.clear();
    findControl<QAction>(window.get(), "popImgEdit_LR")->trigger();
    ASSERT_EQ(dialogs.messages.size(), c.asked ? 1u : 0u);
    if (c.asked) {
        EXPECT_EQ(dialogs.messages[0].kind, MsgKind::Confirmation);
        EXPECT_EQ(dialogs.messages[0].buttons, zp::MsgButtons::YesNo);
        EXPECT_EQ(dialogs.messages[0].text,
                  QStringLiteral("画像サイズの変更後、画像を再生成していませんが\n"
                                 "画像サイズの変更を取り消してよろしいですか？"));
    }
    EXPECT_EQ(page->fitted().pixels != original.pixels, c.edited);
    EXPECT_EQ(ctl<QLineEdit>("edtSizeW")->text(), QString::fromUtf8(c.boxW));
    EXPECT_EQ(ctl<QLineEdit>("edtSizeH")->text(), QString::fromUtf8(c.boxH));
    EXPECT_EQ(ctl<QComboBox>("cmbSize")->currentIndex(), c.preset);
    EXPECT_EQ(page->targetWidth(), 240);
    EXPECT_EQ(page->targetHeight(), 320);
}

using zp::MsgAnswer;
INSTANTIATE_TEST_SUITE_P(
    Boxes, EditConfirmation,
    ::testing::Values(
        // The boxes hold the size in use: no question.
        ConfirmCase{"240", "320", MsgAnswer::No, false, true, "240", "320", 0},
        ConfirmCase{" 240 ", "320", MsgAnswer::No, false, true, "240", "320", 0},
        // One side differs: asked; Yes puts the size in use back (its preset selected).
        ConfirmCase{"480", "320", MsgAnswer::Yes, true, true, "240", "320", 1},
        ConfirmCase{"240", "640", MsgAnswer::Yes, true, true, "240", "320", 1},
        ConfirmCase{"480", "640", MsgAnswer::Yes, true, true, "240", "320", 1},
        // No: nothing changes.
        ConfirmCase{"240", "640", MsgAnswer::No, true, false, "240", "640", 0},
        // A box without a number counts as the largest size.
        ConfirmCase{"abc", "320", MsgAnswer::Yes, true, true, "240", "320", 1},
        // Beyond the range: taken as the next apply would clamp it.
        ConfirmCase{"240", "9999", MsgAnswer::No, true, false, "240", "9999", 0}));

TEST_F(PreviewTest, ConfirmedSizeWithoutAPresetKeepsTheBoxesOpen) {
    takeIn(200, 300, 60, 40);
    ctl<QLineEdit>("edtSizeW")->setText(QStringLiteral("210"));
    dialogs.answer = zp::MsgAnswer::Yes;
    findControl<QAction>(window.get(), "popImgEdit_UD")->trigger();
    EXPECT_EQ(ctl<QLineEdit>("edtSizeW")->text(), QStringLiteral("200"));
    EXPECT_EQ(ctl<QComboBox>("cmbSize")->currentIndex(), 0);
    EXPECT_TRUE(ctl<QLineEdit>("edtSizeW")->isEnabled());
}

TEST_F(PreviewTest, CopyPutsTheFittedBitmapOnTheClipboard) {
    takeIn(240, 320, 60, 40);
    findControl<QAction>(window.get(), "popImgEdit_Copy")->trigger();
    const QImage copied =
        QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(copied.size(), QSize(60, 40));
    const zp::Bitmap& fitted = page->fitted();
    for (int y = 0; y < 40; y += 13)
        for (int x = 0; x < 60; x += 7)
            EXPECT_EQ(copied.pixel(x, y), zp::test::pixelOf(fitted, x, y)) << x << "," << y;
}

// --- the output folder and the caution ----------------------------------------------------

struct FolderCase {
    const char* label; // "exists", "missing", "empty", "file", or "made": the folder below
    bool opens;
    QString made;    // the name of a folder made for the row
    QString refusal; // the message when it does not open; empty: the missing-folder one
};

const QString kNotKept = QStringLiteral(") はフォルダ名として設定に保存できない文字です。"
                                        "この文字を含まないフォルダを指定してください。");

class OutFolder : public PreviewTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(OutFolder, OpensAnExistingFolderOnlyAndRestoresTheLastOne) {
    const std::string label = GetParam().label;
    zp::test::UrlCatcher catcher(QStringLiteral("file"));
    check("chkOutMadeGrp", true);
    preview()->chkOutMadeGrpClick();
    auto* edit = ctl<QLineEdit>("edtOutDir");
    const QString good = m_dir.path();
    edit->setText(good);
    preview()->edtOutDirEnter();
    QString typed;
    if (label == "exists")
        QDir().mkdir(typed = path(QStringLiteral("生成画像")));
    else if (label == "missing")
        typed = path(QStringLiteral("ない"));
    else if (label == "file")
        typed = writeFile(QStringLiteral("a-file"), "x");
    else if (!GetParam().made.isEmpty())
        QDir().mkdir(typed = path(GetParam().made));
    edit->setText(typed);
    dialogs.messages.clear();
    ctl<QAbstractButton>("btnOutFolderOpen")->click();
    if (GetParam().opens) {
        ASSERT_EQ(catcher.urls.size(), 1);
        EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(typed));
        EXPECT_TRUE(dialogs.messages.empty());
        EXPECT_EQ(edit->text(), typed);
    } else {
        EXPECT_TRUE(catcher.urls.isEmpty());
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text,
                  GetParam().refusal.isEmpty()
                      ? QStringLiteral("指定された生成画像保存フォルダは存在しません。")
                      : GetParam().refusal);
        EXPECT_EQ(edit->text(), good);
    }
    // Leaving the box checks it the same way, only while the copy is switched on.
    edit->setText(typed);
    dialogs.messages.clear();
    preview()->edtOutDirExit();
    EXPECT_EQ(edit->text(), GetParam().opens ? typed : good);
    EXPECT_EQ(dialogs.messages.size(), GetParam().opens ? 0u : 1u);
    check("chkOutMadeGrp", false);
    preview()->chkOutMadeGrpClick();
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(ctl<QWidget>("btnOutFolderOpen")->isEnabled());
    edit->setText(typed);
    dialogs.messages.clear();
    preview()->edtOutDirExit();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(edit->text(), typed);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, OutFolder,
    ::testing::Values(
        FolderCase{"exists", true, {}, {}}, FolderCase{"missing", false, {}, {}},
        FolderCase{"empty", false, {}, {}}, FolderCase{"file", false, {}, {}},
        FolderCase{"AccentedLetter", false, QStringLiteral("café"), "「é」(U+00E9" + kNotKept},
        FolderCase{"WaveDash", false, QStringLiteral("ログ〜"), "「〜」(U+301C" + kNotKept},
        FolderCase{"FullWidthTilde", true, QStringLiteral("ログ～"), {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(PreviewTest, FolderButtonPutsTheChosenFolderInTheBoxAndCancelKeepsIt) {
    check("chkOutMadeGrp", true);
    preview()->chkOutMadeGrpClick();
    auto* edit = ctl<QLineEdit>("edtOutDir");
    const QString start = m_dir.path();
    edit->setText(start);
    const QString chosen = path(QStringLiteral("生成画像"));
    QDir().mkdir(chosen);
    dialogs.folderRequests.clear();
    dialogs.folderAnswer = chosen;
    ctl<QAbstractButton>("btnOutDirSelect")->click();
    EXPECT_EQ(edit->text(), chosen);
    dialogs.folderAnswer.clear(); // cancelled
    ctl<QAbstractButton>("btnOutDirSelect")->click();
    EXPECT_EQ(edit->text(), chosen);
    // A folder whose name the settings file cannot hold is refused, naming the character.
    dialogs.folderAnswer = path(QStringLiteral("café"));
    QDir().mkdir(dialogs.folderAnswer);
    dialogs.messages.clear();
    ctl<QAbstractButton>("btnOutDirSelect")->click();
    EXPECT_EQ(edit->text(), chosen);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("「é」(U+00E9)")));
    dialogs.folderRequests.removeLast();
    // The dialog opens at the box's folder each time.
    ASSERT_EQ(dialogs.folderRequests.size(), 2);
    EXPECT_TRUE(dialogs.folderRequests[0].endsWith(QLatin1Char('|') + start));
    EXPECT_TRUE(dialogs.folderRequests[1].endsWith(QLatin1Char('|') + chosen));
}

TEST_F(PreviewTest, CautionShowsItsLines) {
    preview()->lblAutoSendCautionClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].kind, MsgKind::Information);
    EXPECT_EQ(
        dialogs.messages[0].text.split(QLatin1Char('\n')),
        QStringList(
            {QStringLiteral("“画像の貼付・ドロップ後に自動で送信”のチェックをオンにすると"),
             QStringLiteral(
                 "画像の貼付後、またはドロップ後に画像を作成後すぐにメールを送信します。"),
             QString(), QStringLiteral("意図しないメールの送信にご注意ください。"), QString(),
             QStringLiteral("起動していないzoripostのアイコンにファイルをドロップした場合、"),
             QStringLiteral("および“今すぐ適用(X)”ボタンを押した場合には自動送信しません。")}));
}

// --- the picture in the window ------------------------------------------------------------

// A sunset over the sea, to show what a photo looks like in the preview.
QImage sunset(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, h * 0.6);
    sky.setColorAt(0, QColor(40, 60, 140));
    sky.setColorAt(1, QColor(250, 150, 80));
    p.fillRect(0, 0, w, int(h * 0.6), sky);
    QLinearGradient sea(0, h * 0.6, 0, h);
    sea.setColorAt(0, QColor(30, 90, 140));
    sea.setColorAt(1, QColor(10, 30, 60));
    p.fillRect(0, int(h * 0.6), w, h - int(h * 0.6), sea);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 220, 120));
    p.drawEllipse(QPointF(w * 0.5, h * 0.58), w * 0.12, w * 0.12);
    p.fillRect(0, int(h * 0.6), w, 2, QColor(255, 200, 120));
    for (int i = 0; i < 12; ++i)
        p.fillRect(int(w * (0.42 + 0.01 * (i % 3))), int(h * (0.63 + 0.03 * i)),
                   int(w * (0.16 - 0.01 * i)), 3, QColor(255, 190, 110));
    return image;
}

TEST_F(PreviewTest, RendersAPictureWithItsOverview) {
    window->reportStatus(QString(), MsgKind::None);
    if (!ctl<QWidget>("pnlConfig")->isHidden())
        window->btnConfigClick();
    ctl<QComboBox>("cmbSize")->setCurrentIndex(3); // 縦VGA 480×640
    page->cmbSizeChange();
    check("chkRot", false);
    check("chkAllowCut", true);
    const QString file = writePicture(QStringLiteral("夕日.jpg"), sunset(960, 1280));
    window->findChild<zp::Intake*>()->openPictureFile(file, false);
    ASSERT_TRUE(jpegShown());
    box()->verticalScrollBar()->setValue(200);
    box()->horizontalScrollBar()->setValue(120);
    QCoreApplication::processEvents();
    const QImage shot = window->grab().toImage();
    EXPECT_EQ(shot.width(), TfrmMain::kOuterWidthNarrow - TfrmMain::kFrameWidth);
    // The overview shows the picture (the sun's warm colour), not the placeholder alone.
    const QImage whole = ctl<QLabel>("imgWhole")->pixmap().toImage();
    const QColor sun = whole.pixelColor(whole.width() / 2, int(whole.height() * 0.58));
    EXPECT_GT(sun.red(), 200);
    EXPECT_LT(sun.blue(), 170);
    const QString keep = qEnvironmentVariable("ZP_SCREENSHOT_DIR");
    if (!keep.isEmpty()) {
        EXPECT_TRUE(shot.save(QDir(keep).filePath(QStringLiteral("window-preview.png"))));
    }
}

} // namespace
