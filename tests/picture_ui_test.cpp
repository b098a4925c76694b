// The picture settings page on the real main window: clamping of the number boxes, the
// size presets, enabling and colours, and makeJpeg from a generated picture, with the
// working JPEG read back by ImageMagick.
#include "app/zoripost1.h"
#include "picture/preparedpicture.h"
#include "picture/ui/picturepage.h"
#include "platform/dialogs.h"
#include "platform/updown.h"
#include "support/command.h"
#include "support/dialogs.h"
#include "support/rows.h"
#include "support/tempdir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace fs = std::filesystem;
using zp::findControl;
using zp::PicturePage;

namespace {

using zp::test::PrintTo;

using zp::test::runShell;

// A picture with detail everywhere: a gradient under a noise of the given strength.
zp::Bitmap generated(int w, int h, int noise, unsigned seed = 7) {
    zp::Bitmap b;
    b.resize(w, h);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> n(-noise, noise);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b.row(y) + x * 3;
            const int base[3] = {x * 255 / w, y * 255 / h, 128};
            for (int c = 0; c < 3; ++c)
                p[c] =
                    static_cast<std::uint8_t>(std::clamp(base[c] + (noise ? n(rng) : 0), 0, 255));
        }
    return b;
}

class PicturePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_window =
            std::make_unique<TfrmMain>(QString::fromStdString((m_dir / "zoripost").string()));
        m_page = m_window->picturePage();
        ASSERT_NE(m_page, nullptr);
        m_dialogs.messages.clear();
    }
    void TearDown() override { m_window.reset(); }
    template <class T> T* ctl(const char* name) { return findControl<T>(m_window.get(), name); }
    QLineEdit* box(const char* name) { return ctl<QLineEdit>(name); }
    void check(const char* name, bool on) { ctl<QAbstractButton>(name)->setChecked(on); }
    void setFrame(int w, int h) {
        ctl<QComboBox>("cmbSize")->setCurrentIndex(0);
        m_page->cmbSizeChange();
        box("edtSizeW")->setText(QString::number(w));
        box("edtSizeH")->setText(QString::number(h));
    }
    QString status() { return ctl<QStatusBar>("statusBar")->currentMessage(); }
    fs::path working() const { return m_dir / "zoripost.jpg"; }

    zp::test::TempDir m_tmp;
    const fs::path m_dir = m_tmp.path();
    zp::test::ScriptedDialogs m_dialogs;
    std::unique_ptr<TfrmMain> m_window;
    PicturePage* m_page = nullptr;
};

// --- clamping ------------------------------------------------------------------------

struct ClampCase {
    const char* edit;
    const char* updown;
    int positionBefore;
    const char* typed;
    const char* expected;
};

class PicturePageClamp : public PicturePageTest, public ::testing::WithParamInterface<ClampCase> {};

TEST_P(PicturePageClamp, ClampsAndWritesBack) {
    const ClampCase& c = GetParam();
    auto* spin = ctl<zp::UpDown>(c.updown);
    spin->setPosition(c.positionBefore);
    box(c.edit)->setText(QString::fromUtf8(c.typed));
    using ExitCheck = void (zp::PicturePage::*)();
    const std::map<std::string, ExitCheck> exitChecks{
        {"edtQuality", &zp::PicturePage::edtQualityExit},
        {"edtLimitSize", &zp::PicturePage::edtLimitSizeExit},
        {"edtSizeW", &zp::PicturePage::edtSizeWExit},
        {"edtSizeH", &zp::PicturePage::edtSizeHExit}};
    (m_page->*exitChecks.at(c.edit))();
    EXPECT_EQ(box(c.edit)->text(), QString::fromLatin1(c.expected)) << c.typed;
    EXPECT_EQ(spin->position(), box(c.edit)->text().toInt()) << "spin and box agree";
}

INSTANTIATE_TEST_SUITE_P(
    Table, PicturePageClamp,
    ::testing::Values(ClampCase{"edtQuality", "udQuality", 50, "500", "100"},
                      ClampCase{"edtQuality", "udQuality", 50, "0", "1"},
                      ClampCase{"edtQuality", "udQuality", 50, "-3", "1"},
                      ClampCase{"edtQuality", "udQuality", 50, "abc", "95"},
                      ClampCase{"edtQuality", "udQuality", 50, "", "95"},
                      ClampCase{"edtQuality", "udQuality", 50, " 70 ", "70"},
                      ClampCase{"edtQuality", "udQuality", 50, "0x50", "80"},
                      ClampCase{"edtQuality", "udQuality", 50, "7e", "95"},
                      ClampCase{"edtQuality", "udQuality", 50, "９０", "95"},
                      ClampCase{"edtQuality", "udQuality", 50, "99999999999999", "100"},
                      ClampCase{"edtLimitSize", "udLimitSize", 20, "1", "5"},
                      ClampCase{"edtLimitSize", "udLimitSize", 20, "101", "100"},
                      ClampCase{"edtLimitSize", "udLimitSize", 20, "x", "100"},
                      ClampCase{"edtSizeW", "udSizeW", 200, "10", "24"},
                      ClampCase{"edtSizeW", "udSizeW", 200, "1921", "1920"},
                      ClampCase{"edtSizeW", "udSizeW", 200, "  300  ", "300"},
                      ClampCase{"edtSizeW", "udSizeW", 200, "abc", "200"},
                      ClampCase{"edtSizeH", "udSizeH", 300, "31", "32"},
                      ClampCase{"edtSizeH", "udSizeH", 300, "5000", "1080"},
                      ClampCase{"edtSizeH", "udSizeH", 300, "", "300"}));

// Leaving the box by moving the focus runs the handler.
TEST_F(PicturePageTest, LeavingTheQualityBoxClampsIt) {
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QApplication::processEvents(); // the first show's welcome opens the settings panel
    ctl<QTabWidget>("pgctlOption")->setCurrentIndex(0); // the welcome opened the server page
    box("edtQuality")->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(box("edtQuality")->hasFocus());
    box("edtQuality")->setText(QStringLiteral("500"));
    box("edtLimitSize")->setEnabled(true);
    box("edtLimitSize")->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(box("edtQuality")->text(), "100");
}

// --- presets -------------------------------------------------------------------------

struct PresetCase {
    int index;
    int width, height;
};

class PicturePagePreset : public PicturePageTest,
                          public ::testing::WithParamInterface<PresetCase> {};

TEST_P(PicturePagePreset, ItemTextGivesItsSizeAndTheSizeFindsItsItem) {
    const PresetCase& c = GetParam();
    auto* presets = ctl<QComboBox>("cmbSize");
    ASSERT_EQ(presets->count(), 10);
    const zp::FrameSize size = PicturePage::parseSizePreset(presets->itemText(c.index));
    EXPECT_EQ(size.width, c.width);
    EXPECT_EQ(size.height, c.height);
    if (c.index > 0) {
        EXPECT_EQ(PicturePage::findSizePreset(presets, c.width, c.height), c.index);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PicturePagePreset,
                         ::testing::Values(PresetCase{0, 0, 0}, PresetCase{1, 240, 320},
                                           PresetCase{2, 240, 400}, PresetCase{3, 480, 640},
                                           PresetCase{4, 480, 690}, PresetCase{5, 480, 800},
                                           PresetCase{6, 480, 854}, PresetCase{7, 480, 864},
                                           PresetCase{8, 540, 960}, PresetCase{9, 640, 960}));

TEST_F(PicturePageTest, SizesWithoutAPresetFindItemZero) {
    auto* presets = ctl<QComboBox>("cmbSize");
    for (auto [w, h] :
         std::array<std::pair<int, int>, 4>{{{132, 176}, {320, 240}, {0, 0}, {240, 321}}})
        EXPECT_EQ(PicturePage::findSizePreset(presets, w, h), 0) << w << "x" << h;
    EXPECT_EQ(PicturePage::parseSizePreset(QStringLiteral("縦X 12×ab")).width, 12);
    EXPECT_EQ(PicturePage::parseSizePreset(QStringLiteral("縦X 12×ab")).height, 0);
}

// --- enabling and colours --------------------------------------------------------------

QColor base(QWidget* w) {
    return w->palette().color(QPalette::Base);
}
const QColor kWhite(0xFF, 0xFF, 0xFF), kSilver(0xC0, 0xC0, 0xC0);

TEST_F(PicturePageTest, LimitCheckBoxEnablesTheLimitBox) {
    for (bool on : {true, false, true}) {
        check("chkLimitSize", on);
        m_page->chkLimitSizeClick();
        EXPECT_EQ(box("edtLimitSize")->isEnabled(), on);
        EXPECT_EQ(ctl<QWidget>("udLimitSize")->isEnabled(), on);
        EXPECT_EQ(base(box("edtLimitSize")), on ? kWhite : kSilver);
    }
}

TEST_F(PicturePageTest, TurnCheckBoxEnablesTheDirections) {
    for (bool on : {false, true}) {
        check("chkRot", on);
        ctl<QAbstractButton>("chkAllowCut")->click(); // shares the handler
        EXPECT_EQ(ctl<QWidget>("radLeftRot")->isEnabled(), on);
        EXPECT_EQ(ctl<QWidget>("radRightRot")->isEnabled(), on);
    }
}

TEST_F(PicturePageTest, PresetWritesAndLocksTheSizeBoxes) {
    auto* presets = ctl<QComboBox>("cmbSize");
    presets->setCurrentIndex(2);
    m_page->cmbSizeChange();
    EXPECT_EQ(box("edtSizeW")->text(), "240");
    EXPECT_EQ(box("edtSizeH")->text(), "400");
    EXPECT_EQ(ctl<zp::UpDown>("udSizeH")->position(), 400);
    for (const char* name : {"edtSizeW", "edtSizeH"}) {
        EXPECT_FALSE(box(name)->isEnabled());
        EXPECT_EQ(base(box(name)), kSilver);
    }
    presets->setCurrentIndex(0);
    m_page->cmbSizeChange();
    EXPECT_EQ(box("edtSizeH")->text(), "400") << "typing starts from the preset's size";
    for (const char* name : {"edtSizeW", "edtSizeH"}) {
        EXPECT_TRUE(box(name)->isEnabled());
        EXPECT_EQ(base(box(name)), kWhite);
    }
}

TEST_F(PicturePageTest, ApplyTargetSizeReadsTheBoxes) {
    setFrame(300, 5000);
    m_page->applyTargetSize();
    EXPECT_EQ(m_page->targetWidth(), 300);
    EXPECT_EQ(m_page->targetHeight(), 1080);
    EXPECT_EQ(ctl<QWidget>("imgQVGA")->geometry(), QRect(0, 0, 300, 1080));
}

// --- makeJpeg --------------------------------------------------------------------------

TEST_F(PicturePageTest, MakeJpegShowsBothPanesAndWritesADecodableWorkingFile) {
    setFrame(240, 320);
    check("chkAllowCut", true);
    check("chkRot", true);
    check("radLeftRot", true);
    check("chkLimitSize", false);
    box("edtQuality")->setText(QStringLiteral("80"));
    m_page->setSource(zp::PictureSource::fromBitmap(generated(1000, 800, 0)));
    ASSERT_TRUE(m_page->makeJpeg(true));
    EXPECT_TRUE(m_dialogs.messages.empty())
        << m_dialogs.texts().join(QLatin1Char('|')).toStdString();
    // Rule 4: scaled to 320x256, turned left to 256x320, centre 240x320 cut out.
    EXPECT_EQ(m_page->fitted().width, 240);
    EXPECT_EQ(m_page->fitted().height, 320);
    EXPECT_EQ(ctl<QLabel>("imgQVGA")->pixmap().size(), QSize(240, 320));
    auto* preview = ctl<QLabel>("imgJPEGnized");
    EXPECT_FALSE(preview->isHidden());
    EXPECT_EQ(preview->pixmap().size(), QSize(240, 320));
    ASSERT_TRUE(fs::exists(working()));
    EXPECT_EQ(runShell("identify -format '%m %wx%h %[jpeg:sampling-factor]' '" +
                       working().string() + "' 2>&1")
                  .output,
              "JPEG 240x320 2x2,1x1,1x1");
    const auto kB = (fs::file_size(working()) + 1023) / 1024;
    EXPECT_EQ(status(), QStringLiteral("ファイルサイズ%1kB, 画質80 の画像を作成しました").arg(kB));
    // Turned left (counterclockwise): the red right edge of the gradient is now at the top.
    const QImage shown = preview->pixmap().toImage();
    EXPECT_GT(qRed(shown.pixel(120, 10)), qRed(shown.pixel(120, 310)) + 100);
}

TEST_F(PicturePageTest, MakeJpegFromAnImageMagickFile) {
    const fs::path file = m_dir / "photo.png";
    ASSERT_EQ(runShell("convert -size 300x200 plasma:fractal -seed 3 '" + file.string() +
                       "' 2>&1 && echo ok")
                  .output,
              "ok\n");
    zp::PictureSource source;
    std::string error;
    ASSERT_TRUE(zp::PictureSource::fromFile(file, source, error)) << error;
    setFrame(240, 320);
    check("chkStretchMiniImg", false);
    check("chkRot", true);
    check("radRightRot", true);
    m_page->setSource(std::move(source));
    ASSERT_TRUE(m_page->makeJpeg(true));
    // Rule 2: fits when turned, so it is turned clockwise and not scaled.
    EXPECT_EQ(runShell("identify -format '%wx%h' '" + working().string() + "'").output, "200x300");
}

TEST_F(PicturePageTest, MissedLimitGivesUpButStillWritesAndShowsTheJpeg) {
    setFrame(720, 960); // noise over 5 kB even at quality 2
    check("chkStretchMiniImg", true);
    check("chkLimitSize", true);
    box("edtLimitSize")->setText(QStringLiteral("5"));
    box("edtQuality")->setText(QStringLiteral("12"));
    check("chkOutMadeGrp", true);
    box("edtOutDir")->setText(QString::fromStdString(m_dir.string()));
    m_page->setSource(zp::PictureSource::fromBitmap(generated(720, 960, 120)));
    EXPECT_FALSE(m_page->makeJpeg(true));
    EXPECT_TRUE(status().endsWith(QStringLiteral("kB, 画質2 で打ち切りました")))
        << status().toStdString();
    EXPECT_TRUE(fs::exists(working()));
    EXPECT_FALSE(ctl<QWidget>("imgJPEGnized")->isHidden());
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator{}), 1)
        << "no output copy after giving up";
}

// The fine box keeps the status lines of the steps of 5 and adds one naming the quality
// kept, which the working file was encoded at and which fits the limit.
TEST_F(PicturePageTest, FineBoxAddsALineNamingTheQualityKept) {
    setFrame(480, 320);
    check("chkLimitSize", true);
    box("edtLimitSize")->setText(QStringLiteral("20"));
    box("edtQuality")->setText(QStringLiteral("90"));
    m_page->setSource(zp::PictureSource::fromBitmap(generated(480, 320, 40)));
    auto* memo = ctl<QPlainTextEdit>("memoDebug");
    auto linesOfRun = [&](bool fine) {
        check("chkFineQuality", fine);
        memo->clear();
        EXPECT_TRUE(m_page->makeJpeg(true));
        return memo->toPlainText().split(QLatin1Char('\n'));
    };
    const QStringList steps = linesOfRun(false);
    const QStringList withFine = linesOfRun(true);
    ASSERT_EQ(withFine.size(), steps.size() + 1) << withFine.join('|').toStdString();
    EXPECT_EQ(withFine.mid(0, steps.size()), steps);
    const QRegularExpression line(
        QStringLiteral("^ファイルサイズ(\\d+)kB, 画質(\\d+) の画像を作成しました$"));
    const QRegularExpressionMatch step = line.match(steps.last());
    const QRegularExpressionMatch kept = line.match(withFine.last());
    ASSERT_TRUE(step.hasMatch() && kept.hasMatch()) << withFine.last().toStdString();
    const int q = step.captured(2).toInt();
    ASSERT_LT(q, 90) << "the limit decides the quality";
    EXPECT_GE(kept.captured(2).toInt(), q);
    EXPECT_LE(kept.captured(2).toInt(), q + 4);
    EXPECT_LT(fs::file_size(working()), 20u * 1024);
    EXPECT_EQ(runShell("identify -format '%Q' '" + working().string() + "'").output,
              kept.captured(2).toStdString());
}

TEST_F(PicturePageTest, OutputCopyIsNamedAfterTheSource) {
    const fs::path out = m_dir / "out";
    fs::create_directory(out);
    setFrame(240, 320);
    check("chkOutMadeGrp", true);
    box("edtOutDir")->setText(QString::fromStdString(out.string()) + QLatin1Char('/'));
    ctl<QLabel>("lblFileNameF")->setText(QStringLiteral("写真.gif"));
    m_page->setSource(zp::PictureSource::fromBitmap(generated(100, 100, 10)));
    ASSERT_TRUE(m_page->makeJpeg(true));
    EXPECT_TRUE(fs::exists(out / fs::path(u8"zp_写真.jpg")));
    EXPECT_TRUE(m_dialogs.messages.empty());

    box("edtOutDir")->setText(QString::fromStdString((m_dir / "missing").string()));
    EXPECT_TRUE(m_page->makeJpeg(true)) << "a missing folder does not fail the picture";
    EXPECT_EQ(m_dialogs.texts(),
              QStringList{QStringLiteral("指定された生成画像保存フォルダは存在しません。")});
}

TEST_F(PicturePageTest, WithoutAPictureMakeJpegSaysSoAndTheButtonOnlyLaysOut) {
    EXPECT_FALSE(m_page->makeJpeg(true));
    EXPECT_EQ(m_dialogs.texts(), QStringList{QStringLiteral("画像がありません。")});
    m_dialogs.messages.clear();
    setFrame(480, 640);
    ctl<QAbstractButton>("btnMakeJpeg")->click();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(m_page->targetWidth(), 480);
    EXPECT_FALSE(fs::exists(working()));
}

TEST_F(PicturePageTest, WithoutRescaleTheEditedBitmapIsEncoded) {
    setFrame(240, 320);
    m_page->setSource(zp::PictureSource::fromBitmap(generated(240, 320, 0)));
    ASSERT_TRUE(m_page->makeJpeg(true));
    zp::Bitmap& fitted = m_page->fitted();
    std::fill(fitted.pixels.begin(), fitted.pixels.end(), std::uint8_t{0});
    ASSERT_TRUE(m_page->makeJpeg(false));
    const QImage shown = ctl<QLabel>("imgJPEGnized")->pixmap().toImage();
    EXPECT_LT(qGray(shown.pixel(200, 300)), 8);
    ASSERT_TRUE(m_page->makeJpeg(true));
    EXPECT_GT(qGray(ctl<QLabel>("imgJPEGnized")->pixmap().toImage().pixel(200, 300)), 64)
        << "a rescale starts again from the source";
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
