// Taking pictures in on the real main window: files of every kind, links, the drop as a
// real drop event, the clipboard, detaching, and when the automatic send follows (the
// send itself is a counting stand-in).
#include "picture/ui/intake.h"
#include "picture_hostile_files.h"
#include "picture_window_support.h"
#include "support/rows.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

#include <sys/stat.h>

#include <stdexcept>

using zp::findControl;
using zp::Intake;
using zp::MsgKind;

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using zp::test::PrintTo;

class IntakeTest : public zp::test::PictureWindowTest {
protected:
    Intake* intake() { return window->findChild<Intake*>(); }
    void open(const QString& file, bool allowAutoSend = false) {
        intake()->openPictureFile(file, allowAutoSend);
    }
    // A small picture taken in first, so that a refused file can be seen to change nothing.
    void takeInPicture() {
        setFrame(240, 320);
        open(writePicture(QStringLiteral("first.png"), zp::test::noisyImage(60, 40, 0)));
        ASSERT_TRUE(hasPicture());
        ASSERT_TRUE(jpegShown());
    }
    // A drop as the desktop delivers it: enter, then drop, on the given control.
    bool drop(QWidget* on, QMimeData* mime) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on, &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on, &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    }
    QMimeData* filesMime(const QStringList& files) {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& f : files)
            urls << QUrl::fromLocalFile(f);
        mime->setUrls(urls);
        // File managers add the addresses as text too, which an edit box would insert.
        mime->setText(urls.first().toString());
        m_mimes.emplace_back(mime);
        return mime;
    }
    void pasteImage(const QImage& image) { QGuiApplication::clipboard()->setImage(image); }
    // A picture that misses a 5 kB limit even at the lowest quality.
    // Noise of 720 x 960 is over 5 kB even at quality 2, whatever the Huffman tables.
    void makeLimitUnreachable() {
        setFrame(720, 960);
        check("chkStretchMiniImg", true);
        check("chkLimitSize", true);
        ctl<QLineEdit>("edtLimitSize")->setText(QStringLiteral("5"));
        ctl<QLineEdit>("edtQuality")->setText(QStringLiteral("12"));
    }

    std::vector<std::unique_ptr<QMimeData>> m_mimes;
};

// --- which files are pictures ------------------------------------------------------------

struct FileCase {
    const char* name;
    const char* kind; // "png", "jpg", "bmp", "gif", "text", "truncated-png"
    bool picture;
};

class IntakeFiles : public IntakeTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(IntakeFiles, PicturesByExtensionAndContentOthersAttached) {
    const FileCase& c = GetParam();
    const QString name = QString::fromUtf8(c.name);
    const QImage image = zp::test::noisyImage(64, 48, 20);
    const std::string kind = c.kind;
    QString file;
    if (kind == "text") {
        file = writeFile(name, "just some text, not a picture\n");
    } else if (kind == "gif") {
        // Qt writes no GIF; ImageMagick does.
        const QString png = writePicture(QStringLiteral("for-gif.png"), image);
        file = path(name);
        ASSERT_EQ(std::system(
                      ("convert '" + png.toStdString() + "' '" + file.toStdString() + "'").c_str()),
                  0);
    } else if (kind == "truncated-png") {
        // A sound header with the pixel data cut off: known as a picture, not decodable.
        QByteArray bytes;
        QFile f(writePicture(QStringLiteral("whole.png"), image));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        bytes = f.readAll().left(60);
        file = writeFile(name, bytes);
    } else {
        file = writePicture(name, image, kind.c_str());
    }
    takeInPicture();
    dialogs.messages.clear();
    open(file);
    const QString taken = QDir::cleanPath(file);
    EXPECT_EQ(hasPicture(), c.picture);
    EXPECT_EQ(jpegShown(), c.picture);
    EXPECT_EQ(attachmentShown(), !c.picture);
    if (c.picture) {
        EXPECT_EQ(status().left(7), QStringLiteral("ファイルサイズ"));
        EXPECT_EQ(ctl<QLabel>("lblFileNameF")->text(), name);
    } else {
        EXPECT_EQ(status(), QStringLiteral("添付ファイル：") + taken);
        EXPECT_EQ(ctl<QPlainTextEdit>("memAttach")->toPlainText(), taken);
        EXPECT_TRUE(ctl<QPlainTextEdit>("memoDebug")->toPlainText().endsWith(status()));
        EXPECT_TRUE(page->fitted().empty());
        EXPECT_TRUE(ctl<QLabel>("imgJPEGnized")->pixmap().isNull());
        EXPECT_TRUE(ctl<QWidget>("pnlWhole")->isHidden());
        EXPECT_FALSE(QFile::exists(working()));
        // Not being a picture is no error: nothing is shown.
        EXPECT_TRUE(dialogs.messages.empty());
    }
    EXPECT_EQ(window->sourceFilePath(), taken);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, IntakeFiles,
    ::testing::Values(FileCase{"photo.jpg", "jpg", true}, FileCase{"Photo.JPG", "jpg", true},
                      FileCase{"photo.JpEg", "jpg", true}, FileCase{"p.png", "png", true},
                      FileCase{"p.BMP", "bmp", true}, FileCase{"p.gif", "gif", true},
                      // A PNG named .bmp: the data decides how it is read.
                      FileCase{"png-named.bmp", "png", true}, FileCase{"photo.txt", "text", false},
                      FileCase{"icon.ico", "png", false}, FileCase{"a.wmf", "text", false},
                      FileCase{"no-extension", "png", false}, FileCase{"text.jpg", "text", false},
                      FileCase{"truncated.png", "truncated-png", false},
                      // File names are shown as they are, never as markup.
                      FileCase{"<b>bold<i>&amp;.txt", "text", false}));

// --- nothing to attach ------------------------------------------------------------------

struct RefusedCase {
    const char* label;
    const char* reasonStart;
};

class IntakeRefused : public IntakeTest, public ::testing::WithParamInterface<RefusedCase> {};

// A path that names no readable regular file changes nothing and says why; it never
// becomes an attachment (an empty path in particular never means the current folder).
TEST_P(IntakeRefused, LeavesThePictureAsItWas) {
    const std::string label = GetParam().label;
    QString given;
    if (label == "missing")
        given = path(QStringLiteral("gone.png"));
    else if (label == "folder")
        given = m_dir.path();
    else if (label == "broken-link") {
        given = path(QStringLiteral("broken.png"));
        ASSERT_TRUE(QFile::link(path(QStringLiteral("nowhere.png")), given));
    } else if (label == "fifo") {
        given = path(QStringLiteral("pipe.png"));
        ASSERT_EQ(::mkfifo(given.toLocal8Bit().constData(), 0600), 0);
    } else if (label == "link-loop") {
        given = path(QStringLiteral("a.desktop"));
        writeFile(QStringLiteral("a.desktop"),
                  "[Desktop Entry]\nType=Link\nURL=" +
                      QUrl::fromLocalFile(path(QStringLiteral("b.desktop"))).toEncoded() + "\n");
        writeFile(QStringLiteral("b.desktop"), "[Desktop Entry]\nType=Link\nURL=" +
                                                   QUrl::fromLocalFile(given).toEncoded() + "\n");
    }
    takeInPicture();
    const QString before = ctl<QLabel>("lblFileNameF")->text();
    open(given, true);
    EXPECT_TRUE(status().startsWith(QString::fromUtf8(GetParam().reasonStart)))
        << status().toStdString();
    EXPECT_TRUE(hasPicture());
    EXPECT_TRUE(jpegShown());
    EXPECT_FALSE(attachmentShown());
    EXPECT_TRUE(QFile::exists(working()));
    EXPECT_EQ(ctl<QLabel>("lblFileNameF")->text(), before);
    EXPECT_EQ(window->sends, 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, IntakeRefused,
                         ::testing::Values(RefusedCase{"empty", "取り込むファイルが指定されて"},
                                           RefusedCase{"missing", "ファイルが見つかりません"},
                                           RefusedCase{"folder", "フォルダは添付できません"},
                                           RefusedCase{"broken-link", "リンク先のファイルが"},
                                           RefusedCase{"fifo", "通常のファイルではない"},
                                           RefusedCase{"link-loop", "リンクをたどりきれません"}),
                         [](const auto& info) {
                             std::string n = info.param.label;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

// --- links and long paths -------------------------------------------------------------

TEST_F(IntakeTest, LinksAreFollowedAndTheOutputCopyIsNamedAfterTheTarget) {
    QDir(m_dir.path()).mkdir(QStringLiteral("out"));
    check("chkOutMadeGrp", true);
    ctl<QLineEdit>("edtOutDir")->setText(path(QStringLiteral("out")));
    QDir(m_dir.path()).mkdir(QStringLiteral("写真 2026"));
    const QString target =
        writePicture(QStringLiteral("写真 2026/海の夕日.png"), zp::test::noisyImage(50, 30, 10));
    const QString symlink = path(QStringLiteral("via-link.lnk"));
    ASSERT_TRUE(QFile::link(target, symlink));
    // A desktop link to the symbolic link: both are followed.
    const QString desktop = writeFile(QStringLiteral("夕日.DESKTOP"),
                                      "[Desktop Entry]\nType=Link\nName=sunset\nURL=" +
                                          QUrl::fromLocalFile(symlink).toEncoded() + "\n");
    for (const QString& given : {symlink, desktop}) {
        QFile::remove(path(QStringLiteral("out/zp_海の夕日.jpg")));
        open(given);
        EXPECT_TRUE(hasPicture()) << given.toStdString();
        EXPECT_EQ(status().left(7), QStringLiteral("ファイルサイズ"));
        EXPECT_EQ(window->sourceFilePath(), target);
        EXPECT_EQ(ctl<QLabel>("lblFileNameF")->text(), QStringLiteral("海の夕日.png"));
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("out/zp_海の夕日.jpg"))));
    }
    // A desktop file that is no link is just a file to attach.
    const QString app =
        writeFile(QStringLiteral("app.desktop"), "[Desktop Entry]\nType=Application\nExec=true\n");
    open(app);
    EXPECT_TRUE(attachmentShown());
    EXPECT_EQ(ctl<QPlainTextEdit>("memAttach")->toPlainText(), app);
}

TEST_F(IntakeTest, PathsLongerThan260CharactersAreKeptWhole) {
    // Cut at 260 characters this path would name the shorter file beside it.
    QString folder = m_dir.path();
    while (folder.size() < 300) {
        folder += QStringLiteral("/long-folder-name-") + QString::number(folder.size());
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    const QString longFile = folder + QStringLiteral("/picture.png");
    ASSERT_TRUE(zp::test::noisyImage(40, 30, 0).save(longFile));
    ASSERT_GT(longFile.size(), 260);
    writeFile(longFile.left(260).mid(m_dir.path().size() + 1), "decoy");
    open(longFile);
    EXPECT_TRUE(hasPicture());
    EXPECT_EQ(window->sourceFilePath(), longFile);
    EXPECT_EQ(ctl<QPlainTextEdit>("memoDebug")
                  ->toPlainText()
                  .contains(QStringLiteral("ファイルドロップ：") + longFile),
              true);
}

// --- the mends of the guard --------------------------------------------------------------

TEST_F(IntakeTest, AWorkingJpegThatCannotBeWrittenIsReportedNotAttached) {
    setFrame(240, 320);
    // A folder where the working JPEG should go: the file cannot be written.
    ASSERT_TRUE(QDir().mkdir(working()));
    check("chkAutoSend", true);
    const QString file = writePicture(QStringLiteral("p.png"), zp::test::noisyImage(60, 40, 0));
    open(file, true);
    EXPECT_TRUE(hasPicture());
    EXPECT_FALSE(attachmentShown());
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back().text,
              QStringLiteral("JPEG画像ファイルを書き込めませんでした。"));
    EXPECT_EQ(window->sends, 0);
}

TEST_F(IntakeTest, AFailingAutomaticSendIsReportedAndThePictureStays) {
    setFrame(240, 320);
    check("chkAutoSend", true);
    window->onSend = [] { throw std::runtime_error("connection refused"); };
    open(writePicture(QStringLiteral("p.png"), zp::test::noisyImage(60, 40, 0)), true);
    EXPECT_EQ(window->sends, 1);
    EXPECT_TRUE(hasPicture());
    EXPECT_TRUE(jpegShown());
    EXPECT_FALSE(attachmentShown());
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back().kind, MsgKind::Error);
    EXPECT_EQ(dialogs.messages.back().text,
              QStringLiteral("自動送信に失敗しました：connection refused"));
}

// --- the automatic send -----------------------------------------------------------------

struct AutoSendCase {
    const char* way; // paste, drop, commandline, makejpeg, edit, nonpicture
    bool autoSend;
    bool limitMet;
    int sends;
};

class AutoSend : public IntakeTest, public ::testing::WithParamInterface<AutoSendCase> {};

TEST_P(AutoSend, FollowsOnlyASuccessfulPasteOrDrop) {
    const AutoSendCase& c = GetParam();
    const std::string way = c.way;
    if (c.limitMet)
        setFrame(240, 320);
    else
        makeLimitUnreachable();
    check("chkAutoSend", c.autoSend);
    const QImage image = zp::test::noisyImage(c.limitMet ? 60 : 720, c.limitMet ? 40 : 960, 120);
    const QString file = way == "nonpicture" ? writeFile(QStringLiteral("notes.txt"), "text")
                                             : writePicture(QStringLiteral("p.png"), image);
    if (way == "paste") {
        pasteImage(image);
        ctl<QAbstractButton>("btnPaste")->click();
    } else if (way == "drop" || way == "nonpicture") {
        EXPECT_TRUE(drop(window.get(), filesMime({file})));
        QCoreApplication::processEvents();
    } else {
        open(file, false);
        if (way == "makejpeg")
            ctl<QAbstractButton>("btnMakeJpeg")->click();
        else if (way == "edit")
            findControl<QAction>(window.get(), "popImgEdit_UD")->trigger();
    }
    EXPECT_EQ(way == "nonpicture" ? attachmentShown() : hasPicture(), true);
    EXPECT_EQ(window->sends, c.sends);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AutoSend,
    ::testing::Values(AutoSendCase{"paste", true, true, 1}, AutoSendCase{"paste", false, true, 0},
                      AutoSendCase{"paste", true, false, 0}, AutoSendCase{"drop", true, true, 1},
                      AutoSendCase{"drop", false, true, 0}, AutoSendCase{"drop", true, false, 0},
                      AutoSendCase{"nonpicture", true, true, 0},
                      AutoSendCase{"commandline", true, true, 0},
                      AutoSendCase{"makejpeg", true, true, 0}, AutoSendCase{"edit", true, true, 0}),
    [](const auto& info) {
        return std::string(info.param.way) + (info.param.autoSend ? "_on" : "_off") +
               (info.param.limitMet ? "" : "_limit_missed");
    });

TEST_F(IntakeTest, CommandLineFileIsTakenInAtTheFirstShowingWithoutSending) {
    const QString file = writePicture(QStringLiteral("start.png"), zp::test::noisyImage(60, 40, 0));
    zp::test::SendCountingWindow second(path(QStringLiteral("zoripost")));
    second.setCommandLineFile(file);
    findControl<QAbstractButton>(&second, "chkAutoSend")->setChecked(true);
    second.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(second.picturePage()->source().present());
    EXPECT_EQ(second.sourceFilePath(), file);
    EXPECT_EQ(second.sends, 0);
}

// --- the drop ---------------------------------------------------------------------------

TEST_F(IntakeTest, DropTakesTheFirstFileAfterTheDropHasReturned) {
    setFrame(240, 320);
    const QString first = writePicture(QStringLiteral("one.png"), zp::test::noisyImage(30, 20, 0));
    const QString second = writePicture(QStringLiteral("two.png"), zp::test::noisyImage(40, 20, 0));
    const QString third = writeFile(QStringLiteral("three.txt"), "x");
    // Dropped on an edit box: the file goes to the intake, not into the box as text.
    auto* title = ctl<QLineEdit>("edtTitle");
    title->setText(QStringLiteral("件名"));
    EXPECT_TRUE(drop(title, filesMime({first, second, third})));
    EXPECT_FALSE(hasPicture()) << "the drop returns before the picture is made";
    QCoreApplication::processEvents();
    EXPECT_TRUE(hasPicture());
    EXPECT_EQ(window->sourceFilePath(), first);
    EXPECT_EQ(page->source().width(), 30);
    EXPECT_EQ(title->text(), QStringLiteral("件名"));
}

TEST_F(IntakeTest, DropsWithoutFilesAreLeftToTheControl) {
    auto* title = ctl<QLineEdit>("edtTitle");
    title->clear();
    QMimeData text;
    text.setText(QStringLiteral("落とした文字"));
    drop(title, &text);
    QCoreApplication::processEvents();
    EXPECT_EQ(title->text(), QStringLiteral("落とした文字"));
    EXPECT_FALSE(hasPicture());
    EXPECT_FALSE(attachmentShown());
}

TEST_F(IntakeTest, NothingIsTakenInWhileASendIsInProgress) {
    setFrame(240, 320);
    check("chkAutoSend", true);
    const QImage image = zp::test::noisyImage(60, 40, 0);
    const QString file = writePicture(QStringLiteral("p.png"), image);
    window->setSendInProgress(true);
    EXPECT_TRUE(drop(window.get(), filesMime({file})));
    QCoreApplication::processEvents();
    EXPECT_FALSE(hasPicture());
    EXPECT_TRUE(status().startsWith(QStringLiteral("送信中のため、ドロップされたファイル")));
    pasteImage(image);
    ctl<QAbstractButton>("btnPaste")->click();
    EXPECT_FALSE(hasPicture());
    EXPECT_EQ(status(), QStringLiteral("送信中のため、貼り付けは行いませんでした。"));
    // A drop that arrived just before the send started is refused when its turn comes.
    window->setSendInProgress(false);
    EXPECT_TRUE(drop(window.get(), filesMime({file})));
    window->setSendInProgress(true);
    QCoreApplication::processEvents();
    EXPECT_FALSE(hasPicture());
    window->setSendInProgress(false);
    EXPECT_EQ(window->sends, 0);
}

// --- the clipboard -------------------------------------------------------------------------

TEST_F(IntakeTest, PasteTakesTheClipboardPictureFlattenedOnWhite) {
    setFrame(240, 320);
    QImage image(20, 10, QImage::Format_ARGB32);
    image.fill(qRgba(200, 40, 0, 255));
    image.setPixel(3, 4, qRgba(0, 0, 0, 0));
    image.setPixel(5, 4, qRgba(0, 0, 200, 128));
    pasteImage(image);
    ctl<QAbstractButton>("btnPaste")->click();
    ASSERT_TRUE(hasPicture());
    // Already fits: the fitted bitmap is the pasted one, pixel for pixel.
    const zp::Bitmap& fitted = page->fitted();
    ASSERT_EQ(fitted.width, 20);
    EXPECT_EQ(zp::test::pixelOf(fitted, 0, 0), qRgb(200, 40, 0));
    EXPECT_EQ(zp::test::pixelOf(fitted, 3, 4), qRgb(255, 255, 255));
    EXPECT_EQ(zp::test::pixelOf(fitted, 5, 4), qRgb(127, 127, 227));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d$"))
                    .match(ctl<QLabel>("lblFileNameF")->text())
                    .hasMatch())
        << ctl<QLabel>("lblFileNameF")->text().toStdString();
    EXPECT_TRUE(window->sourceFilePath().isEmpty());
}

TEST_F(IntakeTest, PastedAndReadTransparencyGiveTheSamePixels) {
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, qRgba(x * 16, 255 - y * 16, 90, (x + y) * 8));
    setFrame(240, 320);
    open(writePicture(QStringLiteral("alpha.png"), image));
    const zp::Bitmap read = page->fitted();
    pasteImage(image);
    ctl<QAbstractButton>("btnPaste")->click();
    EXPECT_EQ(page->fitted().pixels, read.pixels);
}

TEST_F(IntakeTest, VelmaclipPasteRereadsSizeAndQualityOnlyWithAPicture) {
    const QByteArray ini = "[jpeg]\r\nquality=70\r\n[size]\r\nwidth=480\r\nheight=640\r\n";
    writeFile(QStringLiteral("zoripost.ini"), ini);
    setFrame(240, 320);
    auto* velmaclip = ctl<QAbstractButton>("btnPasteFromVelmaclip");
    QGuiApplication::clipboard()->setText(QStringLiteral("no picture"));
    const QString before = status();
    velmaclip->click();
    EXPECT_EQ(ctl<QLineEdit>("edtSizeW")->text(), QStringLiteral("240"));
    EXPECT_FALSE(hasPicture());
    EXPECT_EQ(status(), before);

    pasteImage(zp::test::noisyImage(100, 80, 0));
    velmaclip->click();
    EXPECT_TRUE(hasPicture());
    EXPECT_EQ(ctl<QLineEdit>("edtQuality")->text(), QStringLiteral("70"));
    EXPECT_EQ(ctl<QComboBox>("cmbSize")->currentIndex(), 3);
    EXPECT_EQ(ctl<QLineEdit>("edtSizeW")->text(), QStringLiteral("480"));
    EXPECT_EQ(ctl<QLineEdit>("edtSizeH")->text(), QStringLiteral("640"));
    EXPECT_FALSE(ctl<QLineEdit>("edtSizeW")->isEnabled());
    EXPECT_EQ(page->targetWidth(), 480);
    QFile f(path(QStringLiteral("zoripost.ini")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), ini) << "the settings file is only read";

    // Without the file the defaults come back.
    QFile::remove(path(QStringLiteral("zoripost.ini")));
    velmaclip->click();
    EXPECT_EQ(ctl<QLineEdit>("edtQuality")->text(), QStringLiteral("90"));
    EXPECT_EQ(ctl<QLineEdit>("edtSizeW")->text(), QStringLiteral("132"));
    EXPECT_EQ(ctl<QLineEdit>("edtSizeH")->text(), QStringLiteral("176"));
    EXPECT_EQ(ctl<QComboBox>("cmbSize")->currentIndex(), 0);
}

// --- a file copied in a file manager, picture data ----------------------------------------

QByteArray encoded(const QImage& image, const char* format) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

// The clipboard as each file manager leaves it after "copy" (Qt gives a Windows CF_HDROP as
// text/uri-list); picture data beside the addresses is a 10 x 10 stand-in.
QMimeData* copiedFileMime(const std::string& form, const QString& file) {
    auto* mime = new QMimeData;
    const QByteArray url = QUrl::fromLocalFile(file).toEncoded();
    if (form == "nautilus" || form == "dolphin" || form == "thunar" || form == "uri-list" ||
        form == "with-data")
        mime->setUrls({QUrl::fromLocalFile(file)});
    if (form == "nautilus" || form == "thunar" || form == "gnome")
        mime->setData(QStringLiteral("x-special/gnome-copied-files"),
                      (form == "gnome" ? "cut\n" : "copy\n") + url);
    if (form == "dolphin")
        mime->setData(QStringLiteral("application/x-kde-cutselection"), "0");
    if (form == "kde4")
        mime->setData(QStringLiteral("application/x-kde4-urilist"), url + "\r\n");
    if (form == "nautilus-text")
        mime->setText(QStringLiteral("x-special/nautilus-clipboard\ncopy\n") +
                      QString::fromLatin1(url) + QStringLiteral("\n"));
    if (form == "with-data")
        mime->setData(QStringLiteral("image/png"), encoded(zp::test::noisyImage(10, 10, 0), "PNG"));
    return mime;
}

class PasteCopied : public IntakeTest,
                    public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(PasteCopied, TakesTheFileInAsADropWould) {
    const auto [form, button] = GetParam();
    setFrame(240, 320);
    QDir(m_dir.path()).mkdir(QStringLiteral("写真 2026"));
    const QString file =
        writePicture(QStringLiteral("写真 2026/海 #1.png"), zp::test::noisyImage(64, 48, 0));
    QGuiApplication::clipboard()->setMimeData(copiedFileMime(form, file));
    ctl<QAbstractButton>(button)->click();
    // The velmaclip paste takes the picture data, never a file.
    const bool taken = std::string(button) == "btnPaste";
    ASSERT_TRUE(hasPicture());
    EXPECT_EQ(page->source().width(), taken ? 64 : 10);
    EXPECT_EQ(window->sourceFilePath(), taken ? file : QString());
    EXPECT_EQ(status().startsWith(QStringLiteral("ファイルサイズ")), true);
    EXPECT_EQ(ctl<QPlainTextEdit>("memoDebug")
                  ->toPlainText()
                  .contains(QStringLiteral("ファイルドロップ：") + file),
              taken);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PasteCopied,
    ::testing::Values(std::pair("nautilus", "btnPaste"), std::pair("dolphin", "btnPaste"),
                      std::pair("thunar", "btnPaste"), std::pair("uri-list", "btnPaste"),
                      std::pair("gnome", "btnPaste"), std::pair("kde4", "btnPaste"),
                      std::pair("nautilus-text", "btnPaste"),
                      // The file at full size, not the preview offered beside it.
                      std::pair("with-data", "btnPaste"),
                      std::pair("with-data", "btnPasteFromVelmaclip")),
    [](const auto& info) {
        std::string n = std::string(info.param.first) + "_" + info.param.second;
        std::replace(n.begin(), n.end(), '-', '_');
        return n;
    });

struct DataCase {
    const char* name;
    const char* way; // paste or drop
    int width;       // upright size taken in; 0: refused, the picture before stays
    int height;
};

class OfferedPictureData : public IntakeTest, public ::testing::WithParamInterface<DataCase> {};

TEST_P(OfferedPictureData, ReadByTheProgramsDecoders) {
    const DataCase& c = GetParam();
    const std::string name = c.name;
    zp::test::Bytes bytes;
    if (name == "exif_jpeg") // stored 240 x 160, EXIF says "turn 90°": a portrait photo
        bytes = zp::test::jpegFlatGrey({240, 160, false, 6});
    if (name == "png_side_over_limit")
        bytes = zp::test::pngHead(70000, 16, 8, 0);
    if (name == "png_cut_short") { // a sound header: only decoding all of it finds the fault
        bytes = zp::test::pngZeroPicture(300, 200, 8);
        bytes.resize(bytes.size() / 2);
    }
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    if (name == "bmp")
        data = encoded(zp::test::noisyImage(50, 30, 10), "BMP");
    takeInPicture();
    const QString before = ctl<QLabel>("lblFileNameF")->text();
    auto* mime = new QMimeData;
    mime->setData(name == "bmp" ? QStringLiteral("image/bmp") : QStringLiteral("image/png"), data);
    if (std::string(c.way) == "paste") {
        QGuiApplication::clipboard()->setMimeData(mime);
        ctl<QAbstractButton>("btnPaste")->click();
    } else {
        m_mimes.emplace_back(mime);
        EXPECT_TRUE(drop(ctl<QLineEdit>("edtTitle"), mime));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(page->source().width(), c.width ? c.width : 60);
    EXPECT_EQ(page->source().height(), c.width ? c.height : 40);
    EXPECT_EQ(window->sourceFilePath().isEmpty(), c.width != 0);
    EXPECT_EQ(ctl<QLabel>("lblFileNameF")->text() == before, c.width == 0);
    EXPECT_EQ(status() == QStringLiteral("画像データを読み込めませんでした。"), c.width == 0);
}

INSTANTIATE_TEST_SUITE_P(Forms, OfferedPictureData,
                         ::testing::Values(DataCase{"exif_jpeg", "paste", 160, 240},
                                           DataCase{"exif_jpeg", "drop", 160, 240},
                                           DataCase{"bmp", "drop", 50, 30},
                                           DataCase{"png_side_over_limit", "paste", 0, 0},
                                           DataCase{"png_cut_short", "paste", 0, 0},
                                           DataCase{"png_cut_short", "drop", 0, 0}),
                         [](const auto& info) {
                             return std::string(info.param.name) + "_" + info.param.way;
                         });

TEST_F(IntakeTest, APicturesWebAddressAloneIsNotDownloaded) {
    takeInPicture();
    auto* mime = new QMimeData;
    m_mimes.emplace_back(mime);
    const QString address = QStringLiteral("https://example.invalid/") + QString(300, u'a');
    mime->setUrls({QUrl(address)});
    mime->setHtml(QStringLiteral("<img src=\"%1\">").arg(address));
    EXPECT_TRUE(drop(ctl<QLineEdit>("edtTitle"), mime));
    QCoreApplication::processEvents();
    EXPECT_EQ(status(), QStringLiteral("Web上の画像は、保存してから取り込んでください：") +
                            address.left(200) + QStringLiteral("…"));
    EXPECT_EQ(page->source().width(), 60);
    // A link to a page is text for the box it is dropped on.
    mime->setHtml(QStringLiteral("<a href=\"https://example.invalid/\">x</a>"));
    mime->setText(address);
    auto* title = ctl<QLineEdit>("edtTitle");
    title->clear();
    drop(title, mime);
    EXPECT_EQ(title->text(), address);
}

// --- detaching ------------------------------------------------------------------------------

TEST_F(IntakeTest, DetachEmptiesEverythingAndKeepsTheSentConfirmation) {
    for (const QString& last :
         {QStringLiteral("添付ファイル：x"), QStringLiteral("メールを送信しました")}) {
        setFrame(480, 640);
        open(writePicture(QStringLiteral("p.png"), zp::test::noisyImage(60, 40, 0)));
        ASSERT_TRUE(QFile::exists(working()));
        const auto overviewCorner = [this] {
            return ctl<QLabel>("imgWhole")->pixmap().toImage().pixelColor(1, 1);
        };
        // The JPEG (blue at its top-left corner) shows in the overview.
        ASSERT_GT(overviewCorner().blue() - overviewCorner().red(), 60);
        window->reportStatus(last, MsgKind::None);
        ctl<QAbstractButton>("btnClear")->click();
        EXPECT_FALSE(hasPicture());
        EXPECT_TRUE(page->fitted().empty());
        EXPECT_FALSE(jpegShown());
        EXPECT_FALSE(attachmentShown());
        EXPECT_FALSE(QFile::exists(working()));
        EXPECT_EQ(status(), last.startsWith(QStringLiteral("メール")) ? last : QString());
        // The overview shows the grey placeholder alone again.
        EXPECT_LT(std::abs(overviewCorner().blue() - overviewCorner().red()), 30);
    }
    open(writeFile(QStringLiteral("notes.txt"), "x"));
    ASSERT_TRUE(attachmentShown());
    findControl<QAction>(window.get(), "popImgEdit_Delete")->trigger();
    EXPECT_FALSE(attachmentShown());
}

} // namespace
