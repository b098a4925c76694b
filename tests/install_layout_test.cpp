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
          << QStringLiteral("usr/share/man/man1/zoripost.1.gz")
          << QStringLiteral("usr/share/man/man1/zoripost-jpeg.1.gz");
#ifdef ZP_HAS_SORTLOGS_MAN
    files << QStringLiteral("usr/share/man/man1/zoripost-sortlogs.1.gz");
#endif
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

class ManPage : public Installed, public ::testing::WithParamInterface<const char*> {};

TEST_P(ManPage, FormatsWithoutWarningsAndNamesItsProgram) {
    const QString program = QString::fromLatin1(GetParam());
    const QString page = tree().path(QStringLiteral("usr/share/man/man1/%1.1.gz").arg(program));
    ASSERT_TRUE(QFile::exists(page));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    const auto r =
        runCommand(QStringLiteral("sh"),
                   {QStringLiteral("-c"),
                    QStringLiteral("gzip -dc \"$0\" | groff -man -Tutf8 -ww -P -cbu"), page},
                   env);
    ASSERT_EQ(r.code, 0) << qPrintable(describe(r));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    const QString text = QString::fromUtf8(r.out);
    EXPECT_TRUE(text.contains(QStringLiteral("NAME\n       %1 ").arg(program))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("SYNOPSIS")));
}

std::vector<const char*> manualPages() {
    std::vector<const char*> pages{"zoripost", "zoripost-jpeg"};
#ifdef ZP_HAS_SORTLOGS_MAN
    pages.push_back("zoripost-sortlogs");
#endif
    return pages;
}

INSTANTIATE_TEST_SUITE_P(Programs, ManPage, ::testing::ValuesIn(manualPages()));

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
         {"libqt6widgets6", "libqt6gui6", "libqt6network6", "libqt6multimedia6", "libjpeg62-turbo",
          "libpng16-16", "libgif7", "libc6", "fonts-ipafont-gothic | fonts-japanese-gothic",
          // loaded when a picture of their type is met, so named by hand
          "libheif1", "libwebp7", "libwebpdemux2", "libavif15"})
        EXPECT_TRUE(depends.contains(QLatin1String(dep)))
            << dep << " missing in: " << qPrintable(depends);
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
TEST_F(Package, AptWouldInstallIt) {
    const auto r = runCommand(
        QStringLiteral("apt-get"),
        {QStringLiteral("install"), QStringLiteral("--simulate"), QStringLiteral("--no-download"),
         QStringLiteral("--no-install-recommends"), QStringLiteral("-q"), s_deb});
    EXPECT_EQ(r.code, 0) << qPrintable(describe(r));
    EXPECT_TRUE(r.out.contains("Inst zoripost")) << r.out.constData();
}

} // namespace
