// Loading and saving the settings file against the real main window: values go from the
// file into the controls and back, with the defaults, clamps and special rules of each key.
#include "app/zoripost1.h"
#include "picture/ui/preview.h"
#include "platform/dialogs.h"
#include "platform/radiogroup.h"
#include "platform/textcodec.h"
#include "platform/updown.h"
#include "settings/atomicfile.h"
#include "settings/profile.h"
#include "settings/ui/settingsstore.h"
#include "support/cp932.h"
#include "support/dialogs.h"
#include "support/files.h"
#include "support/rows.h"
#include "support/tempdir.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using zp::test::PrintTo;

using zp::test::readText;

class SettingsStoreTest : public ::testing::Test {
protected:
    void TearDown() override { zp::setFileSystemCalls(nullptr); }
    fs::path ini() const { return m_dir / "zoripost.ini"; }
    void writeIni(const std::string& text) { zp::test::writeText(ini(), text); }
    std::unique_ptr<TfrmMain> open() {
        return std::make_unique<TfrmMain>(QString::fromStdString((m_dir / "zoripost").string()));
    }
    zp::ProfileFile saved() const {
        zp::ProfileFile f(ini().string());
        EXPECT_TRUE(f.load());
        return f;
    }

    zp::test::TempDir m_tmp;
    const fs::path m_dir = m_tmp.path();
    zp::test::ScriptedDialogs m_dialogs;
};

template <class T> T* ctl(TfrmMain& w, const char* name) {
    return zp::findControl<T>(&w, name);
}
QString text(TfrmMain& w, const char* name) {
    return ctl<QLineEdit>(w, name)->text();
}
bool checked(TfrmMain& w, const char* name) {
    return ctl<QAbstractButton>(w, name)->isChecked();
}

// Every key of the save list, in the order in which it is written.
const std::vector<std::string> kSaveOrder = {"WinPosition/x",
                                             "WinPosition/y",
                                             "general/showConfig",
                                             "jpeg/quality",
                                             "jpeg/maxsize",
                                             "jpeg/limit",
                                             "size/width",
                                             "size/height",
                                             "size/stretchminiimg",
                                             "rot/left",
                                             "rot/right",
                                             "rot/none",
                                             "cut/enabled",
                                             "out/enabled",
                                             "out/dir",
                                             "general/autoSend",
                                             "general/fileAutoClear",
                                             "general/mailAddrAutoClear",
                                             "log/mode",
                                             "log/dir",
                                             "log/namedir",
                                             "smtp/host",
                                             "smtp/user",
                                             "smtp/addr",
                                             "smtp/name",
                                             "general/userpbs",
                                             "pop3/host",
                                             "pop3/name",
                                             "general/reply_to",
                                             "mail/title",
                                             "mail/bodycount",
                                             "mail/addrcount",
                                             "general/wholesize",
                                             "general/sendcaptionchange",
                                             "general/sendSE"};

TEST_F(SettingsStoreTest, NoFileGivesTheDefaultsAndTheFirstCloseWritesEveryKeyInOrder) {
    auto w = open();
    EXPECT_EQ(text(*w, "edtSizeW"), "132");
    EXPECT_EQ(text(*w, "edtSizeH"), "176");
    EXPECT_EQ(text(*w, "edtQuality"), "90");
    EXPECT_EQ(text(*w, "edtLimitSize"), "100");
    EXPECT_FALSE(checked(*w, "chkLimitSize"));
    EXPECT_TRUE(checked(*w, "chkStretchMiniImg"));
    EXPECT_TRUE(checked(*w, "chkRot"));
    EXPECT_TRUE(checked(*w, "radLeftRot"));
    EXPECT_FALSE(checked(*w, "radRightRot"));
    EXPECT_EQ(ctl<zp::RadioGroup>(*w, "radLogSave")->itemIndex(), 0);
    EXPECT_TRUE(checked(*w, "chkMakeNameDir"));
    EXPECT_EQ(ctl<QListWidget>(*w, "chlAddr")->count(), 0);
    EXPECT_EQ(ctl<QComboBox>(*w, "cmbSize")->currentIndex(), 0);
    EXPECT_TRUE(ctl<QWidget>(*w, "pnlConfig")->isHidden());
    EXPECT_TRUE(ctl<QWidget>(*w, "memoDebug")->isHidden());

    w->FormClose();
    std::vector<std::string> keys;
    std::istringstream lines(readText(ini()));
    std::string section;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(!line.empty() && line.back() == '\r') << "line ends in CR LF: " << line;
        line.pop_back();
        if (line.front() == '[')
            section = line.substr(1, line.size() - 2);
        else
            keys.push_back(section + "/" + line.substr(0, line.find('=')));
    }
    // Keys of one section are grouped under its first header, so compare per key.
    std::vector<std::string> expected = kSaveOrder;
    std::stable_sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
        auto sectionRank = [&](const std::string& k) {
            const std::string s = k.substr(0, k.find('/'));
            for (std::size_t i = 0; i < kSaveOrder.size(); ++i)
                if (kSaveOrder[i].rfind(s + "/", 0) == 0)
                    return i;
            return kSaveOrder.size();
        };
        return sectionRank(a) < sectionRank(b);
    });
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(saved().readString("general", "showConfig", ""), "0");
    EXPECT_EQ(saved().readString("size", "width", ""), "132");
}

struct LoadCase {
    const char* name;
    std::string ini;
    const char* control;
    const char* expected;
};

class SettingsLoad : public SettingsStoreTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(SettingsLoad, ClampsAndDefaults) {
    const LoadCase& c = GetParam();
    writeIni(c.ini);
    auto w = open();
    EXPECT_EQ(text(*w, c.control), QString::fromLatin1(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsLoad,
    ::testing::Values(LoadCase{"QualityAboveRange", "[jpeg]\nquality=500\n", "edtQuality", "100"},
                      LoadCase{"QualityBelowRange", "[jpeg]\nquality=0\n", "edtQuality", "1"},
                      LoadCase{"QualityHex", "[jpeg]\nquality=0x50\n", "edtQuality", "80"},
                      LoadCase{"QualityDollarHex", "[jpeg]\nquality=$32\n", "edtQuality", "50"},
                      LoadCase{"QualityLetters", "[jpeg]\nquality=abc\n", "edtQuality", "90"},
                      LoadCase{"MaxSizeBelowRange", "[jpeg]\nmaxsize=1\n", "edtLimitSize", "5"},
                      LoadCase{"WidthBelowRange", "[size]\nwidth=10\n", "edtSizeW", "24"},
                      LoadCase{"WidthAboveRange", "[SIZE]\nWIDTH=5000\n", "edtSizeW", "1920"},
                      LoadCase{"HeightBelowRange", "[size]\nheight=-3\n", "edtSizeH", "32"},
                      LoadCase{"HeightAboveRange", "[size]\nheight=1081\n", "edtSizeH", "1080"}),
    [](const auto& info) { return info.param.name; });

struct SaveCase {
    const char* edit;
    const char* typed;
    const char* section;
    const char* key;
    int expected;
};

class SettingsSaveNumber : public SettingsStoreTest,
                           public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SettingsSaveNumber, BoxWithoutANumberIsWrittenAsItsFallback) {
    const SaveCase& c = GetParam();
    auto w = open();
    ctl<QLineEdit>(*w, c.edit)->setText(QString::fromLatin1(c.typed));
    w->FormClose();
    EXPECT_EQ(saved().readInt(c.section, c.key, -999), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsSaveNumber,
                         ::testing::Values(SaveCase{"edtQuality", "abc", "jpeg", "quality", 95},
                                           SaveCase{"edtQuality", "77", "jpeg", "quality", 77},
                                           SaveCase{"edtLimitSize", "x", "jpeg", "maxsize", 100},
                                           SaveCase{"edtSizeW", "", "size", "width", 240},
                                           SaveCase{"edtSizeH", "q1", "size", "height", 320},
                                           SaveCase{"edtSizeH", "0x20", "size", "height", 32}));

TEST_F(SettingsStoreTest, ShorterBodyDeletesTheLinesLeftOverUpToTheFirstGap) {
    writeIni("[mail]\r\nbodycount=3\r\nbody1=a\r\nbody2=b\r\nbody3=c\r\n");
    auto w = open();
    EXPECT_EQ(ctl<QPlainTextEdit>(*w, "memoBody")->toPlainText(), "a\nb\nc");
    ctl<QPlainTextEdit>(*w, "memoBody")->setPlainText(QStringLiteral("one"));
    w->FormClose();
    const zp::ProfileFile f = saved();
    EXPECT_EQ(f.readInt("mail", "bodycount", -1), 1);
    EXPECT_EQ(f.readString("mail", "body1", ""), "one");
    EXPECT_FALSE(f.keyExists("mail", "body2"));
    EXPECT_FALSE(f.keyExists("mail", "body3"));
}

TEST_F(SettingsStoreTest, BodyLineAfterAGapSurvives) {
    writeIni("[mail]\r\nbodycount=3\r\nbody1=a\r\nbody3=c\r\n");
    auto w = open();
    EXPECT_EQ(ctl<QPlainTextEdit>(*w, "memoBody")->toPlainText(), "a\n\nc");
    ctl<QPlainTextEdit>(*w, "memoBody")->setPlainText(QStringLiteral("one"));
    w->FormClose();
    const zp::ProfileFile f = saved();
    EXPECT_EQ(f.readInt("mail", "bodycount", -1), 1);
    EXPECT_FALSE(f.keyExists("mail", "body2"));
    EXPECT_EQ(f.readString("mail", "body3", ""), "c");
}

TEST_F(SettingsStoreTest, WrappedBodyLineIsSavedAsOneKey) {
    auto w = open();
    auto* memo = ctl<QPlainTextEdit>(*w, "memoBody");
    const QString longLine = QString(300, QLatin1Char('x'));
    memo->setPlainText(longLine + QStringLiteral("\n二行目"));
    w->show();
    QApplication::processEvents();
    ASSERT_GT(memo->document()->documentLayout()->documentSize().height(), 2.0)
        << "the long line is shown wrapped";
    w->FormClose();
    const zp::ProfileFile f = saved();
    EXPECT_EQ(f.readInt("mail", "bodycount", -1), 2);
    EXPECT_EQ(f.readString("mail", "body1", ""), longLine.toStdString());
    EXPECT_EQ(f.readString("mail", "body2", ""), zp::toSjis(QStringLiteral("二行目")));
}

TEST_F(SettingsStoreTest, RecipientsWithAMissingEntryAndCheckMarks) {
    writeIni("[mail]\r\naddrcount=2\r\naddr2=b@example.jp\r\naddrChecked2=1\r\n"
             "addr3=left@over\r\naddrChecked1=0\r\n");
    auto w = open();
    auto* list = ctl<QListWidget>(*w, "chlAddr");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "");
    EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(list->item(1)->text(), "b@example.jp");
    EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
    delete list->takeItem(0);
    w->FormClose();
    const zp::ProfileFile f = saved();
    EXPECT_EQ(f.readInt("mail", "addrcount", -1), 1);
    EXPECT_EQ(f.readString("mail", "addr1", ""), "b@example.jp");
    EXPECT_TRUE(f.readBool("mail", "addrChecked1", false));
    // Numbers above the count are deleted: a removed person does not stay in the file.
    for (const char* key : {"addr2", "addrChecked2", "addr3"})
        EXPECT_FALSE(f.keyExists("mail", key)) << key;
}

TEST_F(SettingsStoreTest, HugeCountsAreCapped) {
    writeIni("[mail]\r\nbodycount=2000000000\r\naddrcount=2000000000\r\n");
    auto w = open();
    EXPECT_EQ(ctl<QListWidget>(*w, "chlAddr")->count(), zp::SettingsStore::kMaxRecipients);
    EXPECT_EQ(ctl<QPlainTextEdit>(*w, "memoBody")->blockCount(), zp::SettingsStore::kMaxBodyLines);
}

struct WholeCase {
    int stored, shown;
};

class SettingsWholeSize : public SettingsStoreTest,
                          public ::testing::WithParamInterface<WholeCase> {};

TEST_P(SettingsWholeSize, OnlyOneToThreeAreSizes) {
    writeIni("[general]\r\nwholesize=" + std::to_string(GetParam().stored) + "\r\n");
    auto w = open();
    EXPECT_EQ(w->wholePreviewSize(), GetParam().shown);
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "popWholeSize_" + std::to_string(i);
        EXPECT_EQ(ctl<QAction>(*w, name.c_str())->isChecked(), i == GetParam().shown) << name;
    }
    w->FormClose();
    EXPECT_EQ(saved().readInt("general", "wholesize", -1), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsWholeSize,
                         ::testing::Values(WholeCase{1, 1}, WholeCase{2, 2}, WholeCase{3, 3},
                                           WholeCase{7, 1}, WholeCase{0, 1}, WholeCase{-2, 1}));

struct RotCase {
    const char* ini;
    bool left, right, rot;
};

class SettingsRot : public SettingsStoreTest, public ::testing::WithParamInterface<RotCase> {};

TEST_P(SettingsRot, RightWinsAndNeitherIsPossible) {
    writeIni(GetParam().ini);
    auto w = open();
    EXPECT_EQ(checked(*w, "radLeftRot"), GetParam().left);
    EXPECT_EQ(checked(*w, "radRightRot"), GetParam().right);
    EXPECT_EQ(checked(*w, "chkRot"), GetParam().rot);
    w->FormClose();
    const zp::ProfileFile f = saved();
    EXPECT_EQ(f.readBool("rot", "left", !GetParam().left), GetParam().left);
    EXPECT_EQ(f.readBool("rot", "right", !GetParam().right), GetParam().right);
    EXPECT_EQ(f.readBool("rot", "none", GetParam().rot), !GetParam().rot);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsRot,
                         ::testing::Values(RotCase{"", true, false, true},
                                           RotCase{"[rot]\nleft=1\nright=1\n", false, true, true},
                                           RotCase{"[rot]\nleft=0\nright=0\n", false, false, true},
                                           RotCase{"[rot]\nnone=1\n", true, false, false}));

// The fine quality box: off without the key, and its key written only when the file had
// it or the box was switched on.
struct FineCase {
    const char* name;
    std::string ini;
    bool loaded;       // the box after loading
    bool click;        // the user switches it over
    const char* saved; // the key's value after closing; nullptr: not in the file
};

class SettingsFine : public SettingsStoreTest, public ::testing::WithParamInterface<FineCase> {};

TEST_P(SettingsFine, WrittenOnlyWhenPresentOrSwitchedOn) {
    const FineCase& c = GetParam();
    writeIni(c.ini);
    auto w = open();
    EXPECT_EQ(checked(*w, "chkFineQuality"), c.loaded);
    if (c.click)
        ctl<QAbstractButton>(*w, "chkFineQuality")->click();
    w->FormClose();
    const zp::ProfileFile f = saved();
    EXPECT_EQ(f.keyExists("jpeg", "fine"), c.saved != nullptr);
    if (c.saved) {
        EXPECT_EQ(f.readString("jpeg", "fine", ""), c.saved);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsFine,
    ::testing::Values(FineCase{"MissingStaysOutOfTheFile", "[jpeg]\nlimit=1\n", false, false,
                               nullptr},
                      FineCase{"SwitchedOnIsWritten", "", false, true, "1"},
                      FineCase{"OnStaysOn", "[jpeg]\nfine=1\n", true, false, "1"},
                      FineCase{"PresentOffIsWritten", "[jpeg]\nfine=0\n", false, false, "0"},
                      FineCase{"SwitchedOffIsWritten", "[JPEG]\nFINE=1\n", true, true, "0"}),
    [](const auto& info) { return info.param.name; });

struct PlaceCase {
    const char* name;
    std::string ini;
    // Expected position from the screen size (sw, sh) and the window size (ww, wh).
    int (*x)(int sw, int ww);
    int (*y)(int sh, int wh);
};

class SettingsPlacement : public SettingsStoreTest,
                          public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(SettingsPlacement, KeepsEnoughOfTheWindowOnTheScreen) {
    writeIni("[general]\r\nshowConfig=1\r\n" + GetParam().ini);
    auto w = open();
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QRect frame = w->frameGeometry();
    EXPECT_EQ(w->x(), GetParam().x(screen.width(), frame.width()));
    EXPECT_EQ(w->y(), GetParam().y(screen.height(), frame.height()));
    w->FormClose();
    EXPECT_EQ(saved().readInt("WinPosition", "x", -1), w->x());
    EXPECT_EQ(saved().readInt("WinPosition", "y", -1), w->y());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsPlacement,
    ::testing::Values(PlaceCase{"Centred", "", [](int sw, int ww) { return (sw - ww) / 2; },
                                [](int sh, int wh) { return (sh - wh) / 2; }},
                      PlaceCase{"AsStored", "[WinPosition]\r\nx=10\r\ny=20\r\n",
                                [](int, int) { return 10; }, [](int, int) { return 20; }},
                      PlaceCase{"FarLeftAndAbove", "[WinPosition]\r\nx=-5000\r\ny=-5\r\n",
                                [](int, int ww) { return 96 - ww; }, [](int, int) { return 0; }},
                      PlaceCase{"FarRightAndBelow", "[WinPosition]\r\nx=99999\r\ny=99999\r\n",
                                [](int sw, int) { return sw - 32; },
                                [](int sh, int) { return sh - 64; }}),
    [](const auto& info) { return info.param.name; });

struct PanelCase {
    const char* ini;
    bool shown;
    int outerWidth;
};

class SettingsPanel : public SettingsStoreTest, public ::testing::WithParamInterface<PanelCase> {};

TEST_P(SettingsPanel, ShowConfigDecidesThePanelAndTheWidth) {
    writeIni(GetParam().ini);
    auto w = open();
    EXPECT_EQ(!ctl<QWidget>(*w, "pnlConfig")->isHidden(), GetParam().shown);
    EXPECT_EQ(w->outerWidth(), GetParam().outerWidth);
    w->FormClose();
    EXPECT_EQ(saved().readBool("general", "showConfig", !GetParam().shown), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsPanel,
                         ::testing::Values(PanelCase{"", false, 520},
                                           PanelCase{"[general]\nshowConfig=1\n", true, 796},
                                           PanelCase{"[general]\nshowConfig=0\n", false, 520}));

TEST_F(SettingsStoreTest, DebugKeysAndSendCaptionAreReadButNeverWritten) {
    writeIni("[debug]\r\nwin=1\r\nNoHeaderEncode=1\r\n[general]\r\nsendcaption=FIRE\r\n");
    auto w = open();
    EXPECT_TRUE(w->debugFlag());
    EXPECT_FALSE(ctl<QWidget>(*w, "memoDebug")->isHidden());
    EXPECT_TRUE(w->noHeaderEncode());
    w->FormClose();
    const std::string after = readText(ini());
    EXPECT_NE(after.find("[debug]\r\nwin=1\r\nNoHeaderEncode=1\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("sendcaption=FIRE\r\n"), std::string::npos);
}

// The caption key wins; without it the caption that the fire check box gave the button
// at that moment stays.
TEST_F(SettingsStoreTest, SendCaptionComesFromTheFileAtLoad) {
    const std::pair<std::string, QString> cases[] = {
        {"[general]\r\nsendcaption=FIRE\r\n", QStringLiteral("FIRE")},
        {"[general]\r\nsendcaptionchange=1\r\n", QStringLiteral("発射!(&S)")},
        {"", QStringLiteral("送信(&S)")}};
    auto w = open();
    auto* send = ctl<QAbstractButton>(*w, "btnSend");
    for (const auto& [file, caption] : cases) {
        writeIni(file);
        send->setText(QStringLiteral("before"));
        w->settingsStore().loadSettings();
        EXPECT_EQ(send->text(), caption) << file;
    }
}

// A full set of values that are not the defaults goes into the file and comes back.
TEST_F(SettingsStoreTest, SavedFileReadsBackToTheSameWindow) {
    const std::string sjisName = zp::toSjis(QStringLiteral("表ソ山田"));
    ASSERT_EQ(sjisName.substr(0, 4), "\x95\x5C\x83\x5C") << "trail bytes 0x5C";
    auto w = open();
    ctl<zp::UpDown>(*w, "udQuality")->setPosition(55);
    ctl<zp::UpDown>(*w, "udLimitSize")->setPosition(20);
    ctl<QAbstractButton>(*w, "chkLimitSize")->setChecked(true);
    ctl<zp::UpDown>(*w, "udSizeW")->setPosition(240);
    ctl<zp::UpDown>(*w, "udSizeH")->setPosition(400);
    ctl<QAbstractButton>(*w, "chkStretchMiniImg")->setChecked(false);
    ctl<QAbstractButton>(*w, "radRightRot")->setChecked(true);
    ctl<QAbstractButton>(*w, "chkAllowCut")->setChecked(true);
    ctl<QLineEdit>(*w, "edtOutDir")->setText(QString::fromStdString(m_dir.string()));
    ctl<QAbstractButton>(*w, "chkAutoSend")->setChecked(true);
    ctl<QAbstractButton>(*w, "chkMailAddrAutoClear")->setChecked(true);
    ctl<zp::RadioGroup>(*w, "radLogSave")->setItemIndex(3);
    ctl<QAbstractButton>(*w, "chkMakeNameDir")->setChecked(false);
    ctl<QLineEdit>(*w, "edtSMTPHost")->setText(QStringLiteral("smtp.example.jp"));
    ctl<QLineEdit>(*w, "edtSMTPName")->setText(QStringLiteral("表ソ山田"));
    ctl<QLineEdit>(*w, "edtPOP3Pwd")->setText(QStringLiteral(" pass\"word "));
    ctl<QLineEdit>(*w, "edtTitle")->setText(QStringLiteral("件名[1]📷"));
    // The last line is 2700 bytes of escapes in the file, past the 2047 that other values keep.
    const QString emojiLine = QStringLiteral("📷").repeated(300);
    ctl<QPlainTextEdit>(*w, "memoBody")
        ->setPlainText(QStringLiteral("本文①😀\n\n  三行目  \n") + emojiLine);
    auto* list = ctl<QListWidget>(*w, "chlAddr");
    for (const char* entry : {"a@example.jp", "b@example.jp"}) {
        auto* item = new QListWidgetItem(QString::fromLatin1(entry), list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(list->count() == 2 ? Qt::Checked : Qt::Unchecked);
    }
    w->preview()->setWholePreviewSize(3);
    w->FormClose();

    const std::string file = readText(ini());
    EXPECT_NE(file.find("name=" + sjisName + "\r\n"), std::string::npos) << "Shift-JIS bytes";
    EXPECT_NE(file.find("title=" + zp::toSjis(QStringLiteral("件名[1]")) + "&#x1F4F7;\r\n"),
              std::string::npos)
        << "an escape for what Shift-JIS cannot hold";
    EXPECT_EQ(fs::status(ini()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    auto back = open();
    EXPECT_EQ(text(*back, "edtQuality"), "55");
    EXPECT_EQ(text(*back, "edtLimitSize"), "20");
    EXPECT_TRUE(checked(*back, "chkLimitSize"));
    EXPECT_EQ(text(*back, "edtSizeW"), "240");
    EXPECT_EQ(text(*back, "edtSizeH"), "400");
    EXPECT_EQ(ctl<QComboBox>(*back, "cmbSize")->currentIndex(), 2) << "the 240x400 preset";
    EXPECT_FALSE(checked(*back, "chkStretchMiniImg"));
    EXPECT_TRUE(checked(*back, "radRightRot"));
    EXPECT_FALSE(checked(*back, "radLeftRot"));
    EXPECT_TRUE(checked(*back, "chkAllowCut"));
    EXPECT_EQ(text(*back, "edtOutDir"), QString::fromStdString(m_dir.string()));
    EXPECT_TRUE(checked(*back, "chkAutoSend"));
    EXPECT_FALSE(checked(*back, "chkFileAutoClear"));
    EXPECT_TRUE(checked(*back, "chkMailAddrAutoClear"));
    EXPECT_EQ(ctl<zp::RadioGroup>(*back, "radLogSave")->itemIndex(), 3);
    EXPECT_FALSE(checked(*back, "chkMakeNameDir"));
    EXPECT_EQ(text(*back, "edtSMTPHost"), "smtp.example.jp");
    EXPECT_EQ(text(*back, "edtSMTPName"), QStringLiteral("表ソ山田"));
    EXPECT_EQ(text(*back, "edtPOP3Pwd"), QStringLiteral(" pass\"word "));
    EXPECT_EQ(text(*back, "edtTitle"), QStringLiteral("件名[1]📷"));
    EXPECT_EQ(ctl<QPlainTextEdit>(*back, "memoBody")->toPlainText(),
              QStringLiteral("本文①😀\n\n  三行目  \n") + emojiLine);
    auto* backList = ctl<QListWidget>(*back, "chlAddr");
    ASSERT_EQ(backList->count(), 2);
    EXPECT_EQ(backList->item(1)->text(), "b@example.jp");
    EXPECT_EQ(backList->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(backList->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(back->wholePreviewSize(), 3);
}

// Typed text keeps every character through a save and a load, those Shift-JIS cannot hold
// (é, 📷) as escapes in the file.
struct TypedTextCase {
    const char* control;
    const char* key;
    QString typed;
};

void PrintTo(const TypedTextCase& c, std::ostream* os) {
    *os << c.control;
}

class SettingsTypedText : public SettingsStoreTest,
                          public ::testing::WithParamInterface<TypedTextCase> {};

TEST_P(SettingsTypedText, KeepsEveryCharacter) {
    const TypedTextCase& c = GetParam();
    auto w = open();
    ctl<QLineEdit>(*w, c.control)->setText(c.typed);
    w->FormClose();
    EXPECT_NE(readText(ini()).find(std::string(c.key) + "=Ren&#xE9; &#x1F4F7;"), std::string::npos);
    auto back = open();
    EXPECT_EQ(text(*back, c.control), c.typed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsTypedText,
    ::testing::Values(TypedTextCase{"edtSMTPName", "name", QStringLiteral("René 📷 山田")},
                      TypedTextCase{"edtTitle", "title", QStringLiteral("René 📷 件名")}),
    [](const auto& info) { return std::string(info.param.control); });

// A file whose text Windows wrote comes back byte for byte: every double-byte character of
// the code page, in the form Windows writes it (髙 as FB FC, ⅰ as FA 40, ∵ as 81 E6), goes
// through boxes of both kinds, the body's lines and the recipient list, and is saved again.
TEST_F(SettingsStoreTest, WindowsBytesOfEveryCharacterComeBackByteForByte) {
    open()->FormClose();
    zp::ProfileFile f(ini().string());
    ASSERT_TRUE(f.load());
    const std::vector<std::string> codes = zp::test::windowsDoubleByteCodes();
    ASSERT_GT(codes.size(), 9000u);
    std::vector<std::string> values(1);
    for (const std::string& code : codes) {
        if (values.back().size() >= 1000)
            values.emplace_back();
        values.back() += code;
    }
    const std::vector<std::pair<const char*, const char*>> boxes = {
        {"mail", "title"}, {"smtp", "name"}, {"smtp", "host"}, {"smtp", "user"}, {"mail", "addr1"}};
    ASSERT_GT(values.size(), boxes.size() + 1);
    std::size_t next = 0;
    for (const auto& [section, key] : boxes)
        f.writeString(section, key, values[next++]);
    f.writeInt("mail", "addrcount", 1);
    f.writeBool("mail", "addrChecked1", true);
    f.writeInt("mail", "bodycount", static_cast<int>(values.size() - next));
    for (int line = 1; next < values.size(); ++line)
        f.writeString("mail", "body" + std::to_string(line), values[next++]);
    writeIni(f.text());
    const std::string before = f.text();
    ASSERT_NE(before.find("\xFB\xFC"), std::string::npos);

    auto w = open();
    EXPECT_TRUE(text(*w, "edtTitle").startsWith(QStringLiteral("\u3000、。")));
    w->FormClose();
    const std::string after = readText(ini());
    EXPECT_TRUE(after == before)
        << "first difference at byte "
        << std::mismatch(after.begin(), after.end(), before.begin(), before.end()).first -
               after.begin();
}

TEST_F(SettingsStoreTest, HandEditedLinesSurviveTheSave) {
    writeIni("; my notes\r\n[smtp]\r\nhost=mail.example.jp\r\nport=587\r\n\r\n[extra]\r\nk=v\r\n");
    auto w = open();
    w->FormClose();
    const std::string after = readText(ini());
    EXPECT_EQ(after.rfind("; my notes\r\n[smtp]\r\nhost=mail.example.jp\r\nport=587\r\n", 0), 0u)
        << after;
    EXPECT_NE(after.find("\r\n[extra]\r\nk=v\r\n"), std::string::npos);
}

// [mail] charset is written back when the file has it or the choice was changed, as the
// hand-set port keys are; a value outside 0..2 counts as missing and stays as it was.
struct CharsetCase {
    const char* name;
    const char* ini;
    int loaded;
    int chosen; // -1: left as loaded
    const char* saved;
};

class SettingsCharset : public SettingsStoreTest,
                        public ::testing::WithParamInterface<CharsetCase> {};

TEST_P(SettingsCharset, WrittenBackWhenInTheFileOrChanged) {
    const CharsetCase& c = GetParam();
    writeIni(c.ini);
    auto w = open();
    auto* box = ctl<QComboBox>(*w, "cmbCharset");
    EXPECT_EQ(box->currentIndex(), c.loaded);
    if (c.chosen >= 0)
        box->setCurrentIndex(c.chosen);
    w->FormClose();
    EXPECT_EQ(saved().readString("mail", "charset", "<none>"), c.saved);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsCharset,
    ::testing::Values(CharsetCase{"Missing", "", 0, -1, "<none>"},
                      CharsetCase{"Iso2022jp", "[mail]\r\ncharset=1\r\n", 1, -1, "1"},
                      CharsetCase{"AutoInTheFile", "[mail]\r\ncharset=0\r\n", 0, -1, "0"},
                      CharsetCase{"Utf8Chosen", "", 0, 2, "2"},
                      CharsetCase{"BackToAuto", "[mail]\r\ncharset=2\r\n", 2, 0, "0"},
                      CharsetCase{"OutOfRange", "[mail]\r\ncharset=9\r\n", 0, -1, "9"}),
    [](const auto& info) { return info.param.name; });

// Where the password lives: [pop3] keyring goes back only when the file has it or it was
// changed. These windows have no keyring (no session bus): a password the store cannot take
// stays in the file, with a warning.
struct KeyringCase {
    const char* name;
    const char* ini;
    bool loaded;
    const char* savedKey;
    const char* savedName;
    int warnings;
};

class SettingsKeyring : public SettingsStoreTest,
                        public ::testing::WithParamInterface<KeyringCase> {};

TEST_P(SettingsKeyring, WrittenBackWhenInTheFileAndNothingLost) {
    const KeyringCase& c = GetParam();
    writeIni(c.ini);
    auto w = open();
    EXPECT_EQ(checked(*w, "chkKeyring"), c.loaded);
    w->FormClose();
    EXPECT_EQ(saved().readString("pop3", "keyring", "<none>"), c.savedKey);
    EXPECT_EQ(saved().readString("pop3", "name", "<none>"), c.savedName);
    EXPECT_EQ(m_dialogs.messages.size(), static_cast<std::size_t>(c.warnings));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsKeyring,
    ::testing::Values(
        KeyringCase{"PasswordInTheFileStaysThere", "[pop3]\r\nname=pw\r\n", false, "<none>", "pw",
                    0},
        KeyringCase{"OffInTheFile", "[pop3]\r\nname=pw\r\nkeyring=0\r\n", false, "0", "pw", 0},
        KeyringCase{"OnKeepsTheFileEmpty", "[pop3]\r\nname=\r\nkeyring=1\r\n", true, "1", "", 0},
        KeyringCase{"PasswordBesideOnButNoStore", "[pop3]\r\nname=pw\r\nkeyring=1\r\n", true, "1",
                    "pw", 1}),
    [](const auto& info) { return info.param.name; });

// A refused write: both messages in order, the old file whole, no temporary file, and
// the window still closes. The file system refuses for real where it can for root too;
// a full disk is played by the injected write.
enum class Refusal { WriteProtectedFile, FolderIsAFile, DiskFull };

class SettingsRefused : public SettingsStoreTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SettingsRefused, ShowsBothMessagesAndTheProgramEnds) {
    const std::string old = "[jpeg]\r\nquality=50\r\n";
    fs::path exe = m_dir / "zoripost";
    fs::path file = ini();
    zp::FileSystemCalls full;
    full.write = [](int, const void*, size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    switch (GetParam()) {
    case Refusal::WriteProtectedFile:
        writeIni(old);
        fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
        break;
    case Refusal::FolderIsAFile:
        std::ofstream(m_dir / "plain") << "x";
        exe = m_dir / "plain" / "zoripost";
        file = m_dir / "plain" / "zoripost.ini";
        break;
    case Refusal::DiskFull:
        writeIni(old);
        break;
    }
    auto w = std::make_unique<TfrmMain>(QString::fromStdString(exe.string()));
    w->show();
    QApplication::processEvents();
    m_dialogs.messages.clear();
    if (GetParam() == Refusal::DiskFull)
        zp::setFileSystemCalls(&full);
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(m_dialogs.messages[0].kind, zp::MsgKind::Information);
    EXPECT_EQ(m_dialogs.messages[0].text, QString::fromStdString(file.string()) +
                                              QStringLiteral(" の保存が出来ませんでした。"));
    EXPECT_EQ(m_dialogs.messages[1].kind, zp::MsgKind::Information);
    EXPECT_EQ(m_dialogs.messages[1].text, QStringLiteral("設定の保存時にエラーが発生しました。"));
    if (GetParam() != Refusal::FolderIsAFile) {
        EXPECT_EQ(readText(ini()), old);
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(m_dir))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names,
              std::vector<std::string>{file.parent_path() == m_dir ? "zoripost.ini" : "plain"});
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsRefused,
                         ::testing::Values(Refusal::WriteProtectedFile, Refusal::FolderIsAFile,
                                           Refusal::DiskFull));

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
