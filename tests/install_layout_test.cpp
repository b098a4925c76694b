// The installed tree and the Debian package: which files go where, the desktop entry as
// desktop-file-validate sees it, the icons as ImageMagick and librsvg read them, the manual
// pages as groff formats them, and the package as dpkg-deb and apt read it.
#include "install_support.h"
#include "support/rows.h"

#include <QCoreApplication>
#include <QImage>
#include <QRegularExpression>
#include <QSettings>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <sys/stat.h>
#include <vector>

// Failure messages show texts as text.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using zp::test::PrintTo;

using zp::test::describe;
using zp::test::InstalledTree;
using zp::test::runCommand;

constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QStringList commandLinePrograms() {
    QStringList programs{QStringLiteral("zoripost"), QStringLiteral("zoripost-jpeg")};
#ifdef ZP_HAS_SORTLOGS
    programs << QStringLiteral("zoripost-sortlogs");
#endif
    return programs;
}

QStringList expectedFiles() {
    QStringList files;
    for (const QString& p : commandLinePrograms())
        files << QStringLiteral("usr/bin/") + p;
    files << QStringLiteral("usr/share/applications/zoripost.desktop")
          << QStringLiteral("usr/share/icons/hicolor/scalable/apps/zoripost.svg")
          << QStringLiteral("usr/" ZP_SOUND_MODULE) << QStringLiteral("usr/" ZP_TLS_MODULE)
          << QStringLiteral("usr/" ZP_KEYRING_MODULE)
          << QStringLiteral("usr/share/metainfo/com.example.zoripost.metainfo.xml")
          << QStringLiteral("usr/share/doc/zoripost/copyright")
          << QStringLiteral("usr/share/doc/zoripost/changelog.gz")
          << QStringLiteral("usr/share/doc/zoripost/ja/guide.md");
    for (const char* picture : {"narrow", "wide", "send", "server", "about", "preview"})
        files << QStringLiteral("usr/share/doc/zoripost/window-%1.png").arg(QLatin1String(picture));
    for (const char* folder : {"man1", "ja/man1"}) {
        files << QStringLiteral("usr/share/man/%1/zoripost.1.gz").arg(QLatin1String(folder))
              << QStringLiteral("usr/share/man/%1/zoripost-jpeg.1.gz").arg(QLatin1String(folder));
#ifdef ZP_HAS_SORTLOGS_MAN
        files
            << QStringLiteral("usr/share/man/%1/zoripost-sortlogs.1.gz").arg(QLatin1String(folder));
#endif
    }
    for (int s : kIconSizes)
        files << QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/zoripost.png").arg(s);
    files.sort();
    return files;
}

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "install_layout_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
    void SetUp() override { ASSERT_TRUE(tree().ok()) << qPrintable(tree().log()); }
    static InstalledTree& tree() { return InstalledTree::get(); }
};

TEST_F(Installed, PutsEachFileInItsPlaceAndNothingElse) {
    EXPECT_EQ(zp::test::filesBelow(tree().root()), expectedFiles());
    for (const QString& p : commandLinePrograms()) {
        const QFileInfo fi(tree().path(QStringLiteral("usr/bin/") + p));
        EXPECT_TRUE(fi.isExecutable()) << qPrintable(p);
        EXPECT_TRUE(fi.permissions() & QFileDevice::ExeOther) << qPrintable(p);
    }
}

TEST_F(Installed, DesktopEntryPassesTheValidator) {
    const QString entry = tree().path(QStringLiteral("usr/share/applications/zoripost.desktop"));
    const auto r = runCommand(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(r.code, 0) << qPrintable(describe(r));
    EXPECT_TRUE(r.out.trimmed().isEmpty()) << "no hints or warnings: " << r.out.constData();
}

TEST_F(Installed, DesktopEntryOpensTheFourPictureKindsWithTheProgram) {
    QFile f(tree().path(QStringLiteral("usr/share/applications/zoripost.desktop")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    auto value = [&text](const QString& key) {
        const QRegularExpression re(
            QStringLiteral("^%1=(.*)$").arg(QRegularExpression::escape(key)),
            QRegularExpression::MultilineOption);
        return re.match(text).captured(1);
    };
    // One file per start: the file is the program's first argument.
    EXPECT_EQ(value(QStringLiteral("Exec")), QStringLiteral("zoripost %f"));
    EXPECT_EQ(value(QStringLiteral("Icon")), QStringLiteral("zoripost"));
    EXPECT_EQ(value(QStringLiteral("Name")), QStringLiteral("zoripost"));
    EXPECT_FALSE(value(QStringLiteral("Name[ja]")).isEmpty());
    EXPECT_FALSE(value(QStringLiteral("Comment")).isEmpty());
    EXPECT_FALSE(value(QStringLiteral("Categories")).isEmpty());
    QStringList types =
        value(QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    types.sort();
    // The four picture types of the window and the phones' own (HEIC, WebP, AVIF).
    EXPECT_EQ(types, (QStringList{QStringLiteral("image/avif"), QStringLiteral("image/bmp"),
                                  QStringLiteral("image/gif"), QStringLiteral("image/heic"),
                                  QStringLiteral("image/heif"), QStringLiteral("image/jpeg"),
                                  QStringLiteral("image/png"), QStringLiteral("image/webp")}));
}

class IconSize : public Installed, public ::testing::WithParamInterface<int> {};

TEST_P(IconSize, IsASquareWithTransparencyOfItsFoldersSize) {
    const int size = GetParam();
    const QString png =
        tree().path(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/zoripost.png").arg(size));
    const auto r =
        runCommand(QStringLiteral("identify"),
                   {QStringLiteral("-format"), QStringLiteral("%m %w %h %[opaque]"), png});
    ASSERT_EQ(r.code, 0) << qPrintable(describe(r));
    EXPECT_EQ(QString::fromLatin1(r.out).trimmed().toLower(),
              QStringLiteral("png %1 %1 false").arg(size));
}

INSTANTIATE_TEST_SUITE_P(Sizes, IconSize, ::testing::ValuesIn(kIconSizes));

// The vector icon, drawn by librsvg, looks like the window's own pixmap of that size.
TEST_F(Installed, VectorIconMatchesThePixmapIcon) {
    QTemporaryDir tmp;
    const QString rendered = tmp.filePath(QStringLiteral("svg64.png"));
    const auto r = runCommand(
        QStringLiteral("rsvg-convert"),
        {QStringLiteral("-w"), QStringLiteral("64"), QStringLiteral("-h"), QStringLiteral("64"),
         QStringLiteral("-o"), rendered,
         tree().path(QStringLiteral("usr/share/icons/hicolor/scalable/apps/zoripost.svg"))});
    ASSERT_EQ(r.code, 0) << qPrintable(describe(r));
    const QImage svg = QImage(rendered).convertToFormat(QImage::Format_ARGB32);
    const QImage png =
        QImage(tree().path(QStringLiteral("usr/share/icons/hicolor/64x64/apps/zoripost.png")))
            .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(svg.size(), QSize(64, 64));
    ASSERT_EQ(png.size(), QSize(64, 64));
    long long diff = 0;
    int opaque = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const QRgb a = svg.pixel(x, y), b = png.pixel(x, y);
            diff += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                    std::abs(qBlue(a) - qBlue(b)) + std::abs(qAlpha(a) - qAlpha(b));
            opaque += qAlpha(b) > 128;
        }
    }
    // Edges are anti-aliased a little differently; the shapes themselves must agree.
    EXPECT_LT(double(diff) / (64 * 64 * 4), 3.0);
    EXPECT_GT(opaque, 64 * 64 / 4) << "the icon is not empty";
}

struct ManCase {
    const char* folder; // below usr/share/man
    const char* program;
    const char* nameHeading;
    const char* synopsisHeading;
};

void PrintTo(const ManCase& c, std::ostream* os) {
    *os << c.folder << '/' << c.program;
}

class ManPage : public Installed, public ::testing::WithParamInterface<ManCase> {};

// As man formats them: preconv turns the UTF-8 of the Japanese pages into groff's characters,
// and a line that cannot be broken (Japanese has no spaces) is a warning, so a failure.
TEST_P(ManPage, FormatsWithoutWarningsAndNamesItsProgram) {
    const ManCase& c = GetParam();
    const QString program = QString::fromLatin1(c.program);
    const QString page = tree().path(
        QStringLiteral("usr/share/man/%1/%2.1.gz").arg(QLatin1String(c.folder), program));
    ASSERT_TRUE(QFile::exists(page));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    const auto r =
        runCommand(QStringLiteral("sh"),
                   {QStringLiteral("-c"),
                    QStringLiteral("gzip -dc \"$0\" | groff -k -man -Tutf8 -ww -P -cbu"), page},
                   env);
    ASSERT_EQ(r.code, 0) << qPrintable(describe(r));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    const QString text = QString::fromUtf8(r.out);
    EXPECT_TRUE(text.contains(
        QStringLiteral("%1\n       %2 ").arg(QString::fromUtf8(c.nameHeading), program)))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QString::fromUtf8(c.synopsisHeading)));
}

std::vector<ManCase> manualPages() {
    std::vector<const char*> programs{"zoripost", "zoripost-jpeg"};
#ifdef ZP_HAS_SORTLOGS_MAN
    programs.push_back("zoripost-sortlogs");
#endif
    std::vector<ManCase> pages;
    for (const char* p : programs) {
        pages.push_back({"man1", p, "NAME", "SYNOPSIS"});
        pages.push_back({"ja/man1", p, "名前", "書式"});
    }
    return pages;
}

INSTANTIATE_TEST_SUITE_P(Pages, ManPage, ::testing::ValuesIn(manualPages()), [](const auto& info) {
    std::string n = std::string(info.param.folder) + "_" + info.param.program;
    for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return n;
});

// Software centres read the metainfo; the validator checks it as they would, and against the
// desktop entry it names (offline: the screenshots' addresses are not fetched).
TEST_F(Installed, MetainfoPassesTheValidator) {
    const auto r = runCommand(
        QStringLiteral("appstreamcli"),
        {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--pedantic"),
         tree().path(QStringLiteral("usr/share/metainfo/com.example.zoripost.metainfo.xml"))});
    EXPECT_EQ(r.code, 0) << qPrintable(describe(r));
    const auto t =
        runCommand(QStringLiteral("appstreamcli"),
                   {QStringLiteral("validate-tree"), QStringLiteral("--no-net"), tree().root()});
    EXPECT_EQ(t.code, 0) << qPrintable(describe(t));
}

// The package's history names the version being installed.
TEST_F(Installed, ChangelogStartsWithThisVersion) {
    const auto r = runCommand(QStringLiteral("gzip"),
                              {QStringLiteral("-dc"),
                               tree().path(QStringLiteral("usr/share/doc/zoripost/changelog.gz"))});
    ASSERT_EQ(r.code, 0) << qPrintable(describe(r));
    EXPECT_TRUE(r.out.startsWith("zoripost (" ZP_VERSION ") ")) << r.out.left(80).constData();
}

struct HelpCase {
    const char* program;
    const char* option;
    const char* firstLine;
};

class Help : public Installed, public ::testing::WithParamInterface<HelpCase> {};

// Answered without a display: no window system is reachable in this environment.
TEST_P(Help, IsAnsweredWithoutADisplay) {
    const HelpCase& c = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(v));
    const auto r = runCommand(tree().path(QStringLiteral("usr/bin/") + QLatin1String(c.program)),
                              {QString::fromLatin1(c.option)}, env, 20000);
    ASSERT_EQ(r.code, 0) << qPrintable(describe(r));
    EXPECT_EQ(QString::fromUtf8(r.out).section(QLatin1Char('\n'), 0, 0),
              QString::fromLatin1(c.firstLine));
}

INSTANTIATE_TEST_SUITE_P(Rows, Help,
                         ::testing::Values(HelpCase{"zoripost", "--help", "usage: zoripost [FILE]"},
                                           HelpCase{"zoripost", "-h", "usage: zoripost [FILE]"},
                                           HelpCase{"zoripost", "--version",
                                                    "zoripost " ZP_VERSION},
                                           HelpCase{"zoripost-jpeg", "--help",
                                                    "usage: zoripost-jpeg [options] FILE..."}),
                         [](const auto& info) {
                             std::string n = std::string(info.param.program) + info.param.option;
                             for (char& ch : n)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

// --- the Debian package ----------------------------------------------------------------------

class Package : public Installed {
protected:
    static void SetUpTestSuite() {
        Installed::SetUpTestSuite();
        s_dir = std::make_unique<QTemporaryDir>();
        const auto r = runCommand(QStringLiteral(ZP_CPACK),
                                  {QStringLiteral("--config"),
                                   QStringLiteral(ZP_BUILD_DIR "/CPackConfig.cmake"),
                                   QStringLiteral("-B"), s_dir->path()},
                                  QProcessEnvironment::systemEnvironment(), 240000);
        s_log = describe(r);
        const QStringList debs =
            QDir(s_dir->path()).entryList({QStringLiteral("zoripost_*.deb")}, QDir::Files);
        if (r.code == 0 && debs.size() == 1)
            s_deb = QDir(s_dir->path()).filePath(debs.first());
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    void SetUp() override {
        Installed::SetUp();
        ASSERT_FALSE(s_deb.isEmpty()) << qPrintable(s_log);
    }
    static QString field(const char* name) {
        const auto r = runCommand(QStringLiteral("dpkg-deb"),
                                  {QStringLiteral("--field"), s_deb, QString::fromLatin1(name)});
        return QString::fromUtf8(r.out).trimmed();
    }
    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline QString s_deb;
    static inline QString s_log;
};

TEST_F(Package, IsNamedForAptAndDescribesItself) {
    EXPECT_EQ(field("Package"), QStringLiteral("zoripost"));
    EXPECT_EQ(field("Version"), QStringLiteral(ZP_VERSION));
    const QString arch =
        QString::fromUtf8(
            runCommand(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).out)
            .trimmed();
    EXPECT_EQ(field("Architecture"), arch);
    EXPECT_EQ(QFileInfo(s_deb).fileName(),
              QStringLiteral("zoripost_%1_%2.deb").arg(QStringLiteral(ZP_VERSION), arch));
    EXPECT_FALSE(field("Maintainer").isEmpty());
    EXPECT_FALSE(field("Description").isEmpty());
    EXPECT_EQ(field("Section"), QStringLiteral("graphics"));
}

TEST_F(Package, DeclaresTheLibrariesAndTheJapaneseFont) {
    const QString depends = field("Depends");
    for (const char* dep :
         {"libqt6widgets6", "libqt6gui6", "libqt6multimedia6", "libjpeg62-turbo", "libpng16-16",
          "libgif7", "libc6", "libssl3", "fonts-ipafont-gothic | fonts-japanese-gothic",
          "libqt6keychain1",       // the keyring module
          "libsecret-1-0",         // loaded by QtKeychain to reach the Secret Service
          "qt6-translations-l10n", // Qt's own buttons in Japanese
          // loaded when a picture of their type is met, so named by hand
          "libheif1", "libwebp7", "libwebpdemux2", "libavif15"})
        EXPECT_TRUE(depends.contains(QLatin1String(dep)))
            << dep << " missing in: " << qPrintable(depends);
    // Japanese typing with fcitx5 from the window.
    EXPECT_TRUE(field("Suggests").contains(QLatin1String("fcitx5-frontend-qt6")));
}

TEST_F(Package, HoldsTheInstalledFilesWithStrippedPrograms) {
    const auto r = runCommand(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), s_deb});
    ASSERT_EQ(r.code, 0) << qPrintable(describe(r));
    QStringList files;
    for (const QString& line :
         QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('d')))
            continue; // folders
        files << line.section(QStringLiteral("./"), 1).section(QStringLiteral(" -> "), 0, 0);
    }
    files.sort();
    EXPECT_EQ(files, expectedFiles());

    QTemporaryDir x;
    ASSERT_EQ(runCommand(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), s_deb, x.path()}).code,
              0);
    const auto f =
        runCommand(QStringLiteral("file"), {x.filePath(QStringLiteral("usr/bin/zoripost"))});
    EXPECT_TRUE(f.out.contains("ELF")) << f.out.constData();
    EXPECT_TRUE(f.out.contains(", stripped")) << f.out.constData();
}

// apt resolves the package's dependencies against this machine (every one of them is
// installed for the tests), as `apt install ./zoripost_*.deb` would; the recommended
// Wayland plug-in is left out, as it need not be at hand here.
// lintian, Debian's package checker, finds no error; its warnings are written out for the log.
TEST_F(Package, LintianFindsNoError) {
    const auto r = runCommand(QStringLiteral("lintian"),
                              {QStringLiteral("--tag-display-limit"), QStringLiteral("0"), s_deb},
                              QProcessEnvironment::systemEnvironment(), 240000);
    ASSERT_TRUE(r.finished) << qPrintable(describe(r));
    QStringList errors;
    for (const QString& line :
         QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("E: ")))
            errors << line;
        else
            std::printf("lintian: %s\n", qPrintable(line));
    }
    EXPECT_TRUE(errors.isEmpty()) << qPrintable(errors.join(QLatin1Char('\n')));
    EXPECT_EQ(r.code, 0) << qPrintable(describe(r));
}

TEST_F(Package, AptWouldInstallIt) {
    const auto r = runCommand(
        QStringLiteral("apt-get"),
        {QStringLiteral("install"), QStringLiteral("--simulate"), QStringLiteral("--no-download"),
         QStringLiteral("--no-install-recommends"), QStringLiteral("-q"), s_deb});
    EXPECT_EQ(r.code, 0) << qPrintable(describe(r));
    EXPECT_TRUE(r.out.contains("Inst zoripost")) << r.out.constData();
}

} // namespace
