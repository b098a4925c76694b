// The profile-file layer, on real files in a temporary folder. This binary links only
// the plain settings library, so it also proves that the layer needs no Qt.
#include "settings/atomicfile.h"
#include "settings/profile.h"
#include "support/cp932.h"
#include "support/files.h"
#include "support/rows.h"
#include "support/tempdir.h"
#include "text/cp932.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using zp::ProfileFile;
using zp::utf8ToSjis;

namespace {

using zp::test::PrintTo;

using zp::test::readText;
using zp::test::writeText;

std::string repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

ProfileFile fromText(const std::string& text) {
    ProfileFile f("unused.ini");
    f.loadFromText(text);
    return f;
}

class TempDir : public ::testing::Test {
protected:
    void TearDown() override {
        zp::setFileSystemCalls(nullptr);
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add);
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    zp::test::TempDir m_tmp;
    const fs::path m_dir = m_tmp.path();
};

// --- reading -------------------------------------------------------------------------

struct ReadCase {
    const char* name;
    std::string text, section, key, expected;
};

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, ReadsValue) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(fromText(c.text).readString(c.section, c.key, "<def>"), c.expected);
}

// Shift-JIS characters whose second byte looks like ASCII: 0x8341 "A", 0x8361 "a",
// 0x955C "\", 0x815D "]", 0x835B "[".
const std::string kA_upper = "\x83\x41", kA_lower = "\x83\x61", kYen = "\x95\x5C",
                  kClose = "\x81\x5D", kOpen = "\x83\x5B";

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileRead,
    ::testing::Values(
        ReadCase{"Plain", "[a]\r\nk=v\r\n", "a", "k", "v"},
        ReadCase{"SectionCase", "[General]\r\nAutoSend=1\r\n", "GENERAL", "autosend", "1"},
        ReadCase{"LfOnly", "[a]\nk=v\n[b]\nk=w\n", "b", "k", "w"},
        ReadCase{"NoFinalLineEnd", "[a]\r\nk=v", "a", "k", "v"},
        ReadCase{"Blanks", "[a]\r\n  k  =   v w  \r\n", "a", "k", "v w"},
        ReadCase{"BlanksInHeader", "  [ a ]  \r\nk=v\r\n", "a", "k", "v"},
        ReadCase{"Quotes", "[a]\r\nk= \"  v \" \r\n", "a", "k", "  v "},
        ReadCase{"OnePairOnly", "[a]\r\nk=\"\"v\"\"\r\n", "a", "k", "\"v\""},
        ReadCase{"LoneQuote", "[a]\r\nk=\"\r\n", "a", "k", "\""},
        ReadCase{"EmptyValue", "[a]\r\nk=\r\n", "a", "k", ""},
        ReadCase{"EqualsInValue", "[a]\r\nk=x=y\r\n", "a", "k", "x=y"},
        ReadCase{"MissingKey", "[a]\r\nk=v\r\n", "a", "j", "<def>"},
        ReadCase{"MissingSection", "[a]\r\nk=v\r\n", "b", "k", "<def>"},
        ReadCase{"KeyBeforeAnySection", "k=v\r\n[a]\r\n", "a", "k", "<def>"},
        ReadCase{"CommentIsNoKey", "[a]\r\n;k=v\r\n", "a", ";k", "<def>"},
        ReadCase{"FirstSectionWins", "[a]\r\nk=1\r\n[A]\r\nk=2\r\nj=3\r\n", "a", "j", "<def>"},
        ReadCase{"FirstKeyWins", "[a]\r\nk=1\r\nK=2\r\n", "a", "k", "1"},
        ReadCase{"UnclosedHeaderIsNoSection", "[a]\r\n[b\r\nk=v\r\n", "a", "k", "v"},
        ReadCase{"SjisValueUntouched", "[a]\r\nk=" + kYen + kOpen + kClose + "\r\n", "a", "k",
                 kYen + kOpen + kClose},
        ReadCase{"SjisSectionWithBracketByte", "[" + kClose + "x]\r\nk=v\r\n", kClose + "x", "k",
                 "v"},
        ReadCase{"SjisSectionWithYenByte", "[" + kYen + "]\r\nk=v\r\n", kYen, "k", "v"},
        ReadCase{"SjisTrailNotFolded", "[a]\r\n" + kA_upper + "=1\r\n", "a", kA_lower, "<def>"},
        ReadCase{"SjisKeysDistinct", "[a]\r\n" + kA_upper + "=1\r\n" + kA_lower + "=2\r\n", "a",
                 kA_lower, "2"},
        ReadCase{"SjisAndAsciiFold", "[a]\r\n" + kA_upper + "Key=1\r\n", "A", kA_upper + "KEY",
                 "1"},
        ReadCase{"SjisKeyStartingWithBracketByte", "[a]\r\n" + kOpen + "=1\r\n", "a", kOpen, "1"}),
    [](const auto& info) { return info.param.name; });

struct IntCase {
    const char* text;
    int expected;
};

class ProfileInt : public ::testing::TestWithParam<IntCase> {};

TEST_P(ProfileInt, ReadsIntegerOrDefault) {
    const IntCase& c = GetParam();
    EXPECT_EQ(fromText(std::string("[a]\r\nk=") + c.text + "\r\n").readInt("a", "k", 90),
              c.expected)
        << "text: " << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileInt,
    ::testing::Values(IntCase{"100", 100}, IntCase{"+5", 5}, IntCase{"-7", -7}, IntCase{" 42 ", 42},
                      IntCase{"\"7\"", 7}, IntCase{"0x50", 80}, IntCase{"0X1f", 31},
                      IntCase{"$10", 16}, IntCase{"-$10", -16}, IntCase{"0x", 90}, IntCase{"$", 90},
                      IntCase{"abc", 90}, IntCase{"12abc", 90}, IntCase{"1 2", 90}, IntCase{"", 90},
                      IntCase{"-", 90}, IntCase{"0x5G", 90}, IntCase{"2147483647", INT_MAX},
                      IntCase{"2147483648", 90}, IntCase{"-2147483648", INT_MIN},
                      IntCase{"$FFFFFFFF", -1}, IntCase{"$100000000", 90},
                      IntCase{"99999999999999999999", 90}));

struct BoolCase {
    const char* line;
    bool def, expected;
};

class ProfileBool : public ::testing::TestWithParam<BoolCase> {};

TEST_P(ProfileBool, AnyNonZeroNumberIsTrue) {
    const BoolCase& c = GetParam();
    EXPECT_EQ(fromText(std::string("[a]\r\n") + c.line + "\r\n").readBool("a", "k", c.def),
              c.expected)
        << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileBool,
    ::testing::Values(BoolCase{"k=1", false, true}, BoolCase{"k=0", true, false},
                      BoolCase{"k=2", false, true}, BoolCase{"k=-1", false, true},
                      BoolCase{"k=yes", true, true}, BoolCase{"k=yes", false, false},
                      BoolCase{"j=1", true, true}, BoolCase{"j=1", false, false}));

TEST(ProfileCap, ValuesAreCutAt2047BytesOnACharacterBoundary) {
    const std::string exact(2047, 'a'), longer(3000, 'b');
    const std::string straddling = std::string(2046, 'c') + "\x82\xA0" + "d";
    ProfileFile f = fromText("[a]\r\nexact=" + exact + "\r\nlonger=" + longer +
                             "\r\nstraddling=" + straddling + "\r\n");
    EXPECT_EQ(f.readString("a", "exact", ""), exact);
    EXPECT_EQ(f.readString("a", "longer", ""), longer.substr(0, 2047));
    // The double-byte character at bytes 2047-2048 would be split: it is left out whole.
    EXPECT_EQ(f.readString("a", "straddling", ""), std::string(2046, 'c'));
}

// --- writing -------------------------------------------------------------------------

struct WriteCase {
    const char* name;
    std::string before;
    void (*edit)(ProfileFile&);
    std::string after;
};

class ProfileWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, EditsOnlyWhatItMust) {
    const WriteCase& c = GetParam();
    ProfileFile f = fromText(c.before);
    c.edit(f);
    EXPECT_EQ(f.text(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileWrite,
    ::testing::Values(
        WriteCase{"CreatesSectionAndKey", "",
                  [](ProfileFile& f) { f.writeInt("jpeg", "quality", 80); },
                  "[jpeg]\r\nquality=80\r\n"},
        WriteCase{"ReplacesInPlaceKeepingComments",
                  "; mine\r\n[Jpeg]\r\n  Quality = 5 \r\n;note\r\nother=x\r\n\r\n[b]\r\n",
                  [](ProfileFile& f) { f.writeInt("JPEG", "quality", 80); },
                  "; mine\r\n[Jpeg]\r\nQuality=80\r\n;note\r\nother=x\r\n\r\n[b]\r\n"},
        WriteCase{"AddsKeyAtEndOfSectionBeforeBlankLine", "[a]\r\nk=1\r\n\r\n[b]\r\nj=2\r\n",
                  [](ProfileFile& f) { f.writeString("a", "n", "v"); },
                  "[a]\r\nk=1\r\nn=v\r\n\r\n[b]\r\nj=2\r\n"},
        WriteCase{"AddsSectionAtEnd", "[a]\nk=1\n",
                  [](ProfileFile& f) { f.writeBool("b", "on", true); },
                  "[a]\r\nk=1\r\n[b]\r\non=1\r\n"},
        WriteCase{"DeletesOnlyThatLine", "[a]\r\nk=1\r\n;c\r\nj=2\r\n",
                  [](ProfileFile& f) {
                      f.deleteKey("A", "K");
                      f.deleteKey("a", "missing");
                      f.deleteKey("missing", "k");
                  },
                  "[a]\r\n;c\r\nj=2\r\n"},
        WriteCase{"DeleteThenWriteAgain", "[a]\r\nk=1\r\nj=2\r\n",
                  [](ProfileFile& f) {
                      f.deleteKey("a", "k");
                      f.writeString("a", "k", "3");
                  },
                  "[a]\r\nj=2\r\nk=3\r\n"},
        WriteCase{"QuotesWhatBlanksOrQuotesWouldChange", "",
                  [](ProfileFile& f) {
                      f.writeString("a", "lead", " x");
                      f.writeString("a", "quoted", "\"y\"");
                      f.writeString("a", "inner", "a \"b\" c");
                  },
                  "[a]\r\nlead=\" x\"\r\nquoted=\"\"y\"\"\r\ninner=a \"b\" c\r\n"},
        WriteCase{"LineBreakBecomesBlank", "",
                  [](ProfileFile& f) { f.writeString("a", "k", "x\r\n[evil]\ny"); },
                  "[a]\r\nk=x  [evil] y\r\n"},
        WriteCase{"SjisBytesUntouched", "[" + kYen + "]\r\n" + kA_upper + "=1\r\n",
                  [](ProfileFile& f) {
                      f.writeString(kYen, kA_lower, kClose + kOpen);
                      f.writeString(kYen, kA_upper, kYen);
                  },
                  "[" + kYen + "]\r\n" + kA_upper + "=" + kYen + "\r\n" + kA_lower + "=" + kClose +
                      kOpen + "\r\n"}),
    [](const auto& info) { return info.param.name; });

TEST(ProfileWriteRead, ValuesReadBackUnchanged) {
    const std::vector<std::string> values = {"",
                                             " ",
                                             "  lead",
                                             "trail  ",
                                             "\"q\"",
                                             "\"",
                                             "a=b",
                                             "; not a comment",
                                             kYen + kOpen + kClose + kA_upper,
                                             std::string(2047, 'z'),
                                             "[x]"};
    ProfileFile f("unused.ini");
    for (std::size_t i = 0; i < values.size(); ++i)
        f.writeString("s", "k" + std::to_string(i), values[i]);
    ProfileFile back = fromText(f.text());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(back.readString("s", "k" + std::to_string(i), "<def>"), values[i]) << i;
}

// Text values as typed (UTF-8): what the Shift-JIS file holds, and what it gives back.
struct TextCase {
    std::string name;
    std::string typed;  // as the user typed it
    std::string stored; // the file's value, shown as UTF-8
};

// The name only: some rows hold thousands of bytes.
void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ProfileText, EveryCharacterReadsBack) {
    const TextCase& c = GetParam();
    ProfileFile f("unused.ini");
    f.writeText("mail", "title", c.typed);
    EXPECT_EQ(f.text(), "[mail]\r\ntitle=" + utf8ToSjis(c.stored) + "\r\n");
    ProfileFile back = fromText(f.text());
    EXPECT_EQ(back.readText("mail", "title", "<def>"), c.typed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileText,
    ::testing::Values(
        TextCase{"Emoji", "写真📷 2026", "写真&#x1F4F7; 2026"},
        TextCase{"CodePageCharactersAsEver", "①㈱髙﨑～ｱ", "①㈱髙﨑～ｱ"},
        TextCase{"CombiningMark", "か\u3099", "か&#x3099;"},
        TextCase{"TypedEscapesStayText", "&#x41; &#x1F4F7;&#x26;",
                 "&#x26;#x41; &#x26;#x1F4F7;&#x26;#x26;"},
        TextCase{"OtherAmpersandsAsEver", "a & b &#x; &#xZZ; &#41; &", "a & b &#x; &#xZZ; &#41; &"},
        // 2700 bytes, with an escape across byte 2047: read whole, never cut.
        TextCase{"ThreeHundredEmojiPastTheReadCap", repeat("📷", 300), repeat("&#x1F4F7;", 300)},
        TextCase{"LongLineOfHeldCharacters", repeat("あ", 1100) + "x", repeat("あ", 1100) + "x"}),
    [](const auto& info) { return info.param.name; });

// A file of an earlier version, which wrote no escapes, reads as it did; only the exact form of
// a character Shift-JIS cannot hold is taken for one.
TEST(ProfileText, EarlierFilesReadAsBefore) {
    for (const std::string v : {"&#x41;", "&#x3042;", "&#x1f4f7;", "&#x01F4F7;", "&#x110000;",
                                "&#xD800;", "&#x26;", "&#x26;&#x41;"})
        EXPECT_EQ(fromText("[mail]\r\ntitle=" + v + "\r\n").readText("mail", "title", ""), v);
    EXPECT_EQ(fromText("[mail]\r\ntitle=&#x1F4F7;\r\n").readText("mail", "title", ""), "📷");
    EXPECT_EQ(fromText("").readText("mail", "title", "<def>"), "<def>");
}

// A file that Windows wrote keeps its bytes when every text in it is read and written again:
// every double-byte character of the code page, in the form Windows writes it.
TEST(ProfileText, WindowsBytesOfEveryCharacterComeBackByteForByte) {
#if ZP_TEST_HAVE_ICONV
    std::string file = "[mail]\r\n";
    std::vector<std::string> keys;
    std::string value;
    const std::vector<std::string> codes = zp::test::windowsDoubleByteCodes();
    for (std::size_t i = 0; i < codes.size(); ++i) {
        value += codes[i];
        if (value.size() >= 1000 || i + 1 == codes.size()) {
            keys.push_back("body" + std::to_string(keys.size() + 1));
            file += keys.back() + "=" + value + "\r\n";
            value.clear();
        }
    }
    ASSERT_GT(codes.size(), 9000u);
    ProfileFile f = fromText(file);
    for (const std::string& key : keys)
        f.writeText("mail", key, f.readText("mail", key, ""));
    EXPECT_TRUE(f.text() == file);
    EXPECT_EQ(f.readText("mail", "body1", "").substr(0, 9), "\u3000、。");
#else
    GTEST_SKIP() << "no iconv to tell the bytes Windows writes";
#endif
}

TEST(ProfileDuplicates, DeletingTheFirstOfTwoEqualKeysUncoversTheSecond) {
    ProfileFile f = fromText("[a]\r\nk=1\r\nK=2\r\n");
    f.deleteKey("a", "k");
    EXPECT_EQ(f.readString("a", "k", "<def>"), "2");
    EXPECT_EQ(fromText(f.text()).readString("a", "k", "<def>"), "2");
}

// --- files ---------------------------------------------------------------------------

using ProfileFileTest = TempDir;

TEST_F(ProfileFileTest, MissingFileIsEmptyAndSaveCreatesItWithMode0600) {
    const fs::path p = m_dir / "zoripost.ini";
    ProfileFile f(p.string());
    ASSERT_TRUE(f.load());
    EXPECT_EQ(f.readInt("jpeg", "quality", 90), 90);
    f.writeString("pop3", "name", "secret");
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(readText(p), "[pop3]\r\nname=secret\r\n");
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(entries(), std::vector<std::string>{"zoripost.ini"});
}

TEST_F(ProfileFileTest, SubjectWithEmojiSurvivesSaveAndLoad) {
    const fs::path p = m_dir / "zoripost.ini";
    ProfileFile f(p.string());
    ASSERT_TRUE(f.load());
    f.writeText("mail", "title", "写真①📷");
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(readText(p), "[mail]\r\ntitle=" + utf8ToSjis("写真①") + "&#x1F4F7;\r\n");
    ProfileFile back(p.string());
    ASSERT_TRUE(back.load());
    EXPECT_EQ(back.readText("mail", "title", ""), "写真①📷");
}

// A settings folder whose name holds Japanese and a character code page 932 lacks, as a
// Windows user folder may ("José"): the path's text is UTF-8 there.
TEST_F(ProfileFileTest, FolderNamedOutsideTheCodePageIsReadAndWritten) {
    const fs::path folder = m_dir / u8"設定 José";
    fs::create_directory(folder);
    const std::u8string u8 = (folder / "zoripost.ini").u8string();
    const std::string path(u8.begin(), u8.end());
    ProfileFile f(path);
    ASSERT_TRUE(f.load()) << f.error();
    f.writeString("pop3", "name", "secret");
    ASSERT_TRUE(f.save()) << f.error();
    ProfileFile back(path);
    ASSERT_TRUE(back.load()) << back.error();
    EXPECT_EQ(back.readString("pop3", "name", ""), "secret");
    EXPECT_TRUE(fs::is_regular_file(folder / "zoripost.ini"));
}

TEST_F(ProfileFileTest, ExistingFileKeepsItsModeAndForeignLines) {
    const fs::path p = m_dir / "zoripost.ini";
    writeText(p, "; hand-written\n[jpeg]\nquality=50\n[mine]\nx=1\n");
    fs::permissions(p, fs::perms(0644));
    ProfileFile f(p.string());
    ASSERT_TRUE(f.load());
    EXPECT_EQ(f.readInt("jpeg", "quality", 90), 50);
    f.writeInt("jpeg", "quality", 70);
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(readText(p), "; hand-written\r\n[jpeg]\r\nquality=70\r\n[mine]\r\nx=1\r\n");
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::mask, fs::perms(0644));
}

TEST_F(ProfileFileTest, SymbolicLinkStaysAndItsTargetIsReplaced) {
    const fs::path target = m_dir / "real.ini", link = m_dir / "zoripost.ini";
    writeText(target, "[a]\r\nk=1\r\n");
    fs::create_symlink(target, link);
    ProfileFile f(link.string());
    ASSERT_TRUE(f.load());
    f.writeInt("a", "k", 2);
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readText(target), "[a]\r\nk=2\r\n");
}

TEST_F(ProfileFileTest, UnreadableFileIsNeverOverwritten) {
    const fs::path p = m_dir / "zoripost.ini";
    fs::create_directory(p); // exists, but is no file the program can read
    ProfileFile f(p.string());
    EXPECT_FALSE(f.load());
    EXPECT_EQ(f.readInt("jpeg", "quality", 90), 90);
    f.writeInt("jpeg", "quality", 70);
    EXPECT_FALSE(f.save());
    EXPECT_FALSE(f.error().empty());
    EXPECT_TRUE(fs::is_directory(p));
}

TEST_F(ProfileFileTest, OversizedFileIsNotRead) {
    const fs::path p = m_dir / "zoripost.ini";
    {
        std::ofstream out(p, std::ios::binary);
        const std::string line = "[a]\r\nk=" + std::string(1000, 'x') + "\r\n";
        for (std::size_t n = 0; n <= ProfileFile::kMaxFileBytes / line.size(); ++n)
            out << line;
    }
    const auto size = fs::file_size(p);
    ProfileFile f(p.string());
    EXPECT_FALSE(f.load());
    EXPECT_FALSE(f.save());
    EXPECT_EQ(fs::file_size(p), size);
}

TEST_F(ProfileFileTest, ShortWritesStillWriteTheWholeFile) {
    zp::FileSystemCalls oneByte;
    oneByte.write = [](int fd, const void* data, size_t size) {
        return ::write(fd, data, size > 0 ? 1 : 0);
    };
    zp::setFileSystemCalls(&oneByte);
    const fs::path p = m_dir / "zoripost.ini";
    ProfileFile f(p.string());
    f.writeString("a", "k", std::string(500, 'v'));
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(readText(p), "[a]\r\nk=" + std::string(500, 'v') + "\r\n");
}

// Every line is saved with CR LF, the line end of the platform the format comes from,
// whatever the file had: a CR LF file comes back byte for byte apart from the edit (no CR
// doubled by a text-mode write, none kept in a value by a text-mode read), and lines that
// ended in LF alone are given the CR.
struct LineEndCase {
    const char* name;
    std::string before, after;
};

class ProfileLineEnds : public TempDir, public ::testing::WithParamInterface<LineEndCase> {};

TEST_P(ProfileLineEnds, SavedLinesEndInCrLf) {
    const fs::path p = m_dir / "zoripost.ini";
    writeText(p, GetParam().before);
    ProfileFile f(p.string());
    ASSERT_TRUE(f.load()) << f.error();
    EXPECT_EQ(f.readString("a", "k", "<def>"), "1");
    EXPECT_EQ(f.readString("a", "note", "<def>"), "x y");
    f.writeInt("a", "k", 2);
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(readText(p), GetParam().after);
    ProfileFile back(p.string());
    ASSERT_TRUE(back.load()) << back.error();
    EXPECT_EQ(back.readString("a", "k", "<def>"), "2");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileLineEnds,
    ::testing::Values(
        LineEndCase{"CrLfStaysCrLf", "; mine\r\n[a]\r\nk=1\r\nnote=x y\r\n\r\n[b]\r\nj=3\r\n",
                    "; mine\r\n[a]\r\nk=2\r\nnote=x y\r\n\r\n[b]\r\nj=3\r\n"},
        LineEndCase{"CrLfWithoutTheLastOne", "[a]\r\nnote=x y\r\nk=1",
                    "[a]\r\nnote=x y\r\nk=2\r\n"},
        LineEndCase{"LfAloneGetsTheCr", "[a]\nk=1\nnote=x y\n[b]\nj=3\n",
                    "[a]\r\nk=2\r\nnote=x y\r\n[b]\r\nj=3\r\n"},
        LineEndCase{"MixedLineEnds", "[a]\r\nk=1\nnote=x y\r\n", "[a]\r\nk=2\r\nnote=x y\r\n"}),
    [](const auto& info) { return info.param.name; });

// A failed save, at whichever step, keeps the old file whole and leaves no temporary
// file behind.
struct FailureCase {
    const char* name;
    zp::FileSystemCalls calls;
};

class ProfileSaveFailure : public TempDir, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ProfileSaveFailure, OldFileStaysWhole) {
    const fs::path p = m_dir / "zoripost.ini";
    const std::string old = "[jpeg]\r\nquality=50\r\n";
    writeText(p, old);
    ProfileFile f(p.string());
    ASSERT_TRUE(f.load());
    for (int i = 0; i < 1000; ++i)
        f.writeInt("mail", "body" + std::to_string(i), i);
    zp::setFileSystemCalls(&GetParam().calls);
    EXPECT_FALSE(f.save());
    EXPECT_NE(f.error().find(p.string()), std::string::npos) << f.error();
    EXPECT_EQ(readText(p), old);
    EXPECT_EQ(entries(), std::vector<std::string>{"zoripost.ini"});
}

zp::FileSystemCalls failing(int step) {
    zp::FileSystemCalls c;
    if (step == 0) // a disk that fills up after the first part
        c.write = [n = 0](int fd, const void* d, size_t s) mutable -> ssize_t {
            if (n++ == 0)
                return ::write(fd, d, s < 100 ? s : 100);
            errno = ENOSPC;
            return -1;
        };
    if (step == 1)
        c.fsync = [](int) {
            errno = EIO;
            return -1;
        };
    if (step == 2)
        c.rename = [](const char*, const char*) {
            errno = EACCES;
            return -1;
        };
    return c;
}

INSTANTIATE_TEST_SUITE_P(Steps, ProfileSaveFailure,
                         ::testing::Values(FailureCase{"DiskFull", failing(0)},
                                           FailureCase{"FlushFails", failing(1)},
                                           FailureCase{"RenameRefused", failing(2)}),
                         [](const auto& info) { return info.param.name; });

// A folder the file system really refuses to write into. As root the permission bits
// do not stop writes; the refusal is then played through the injected rename, which
// fails the way a read-only folder makes it fail.
TEST_F(ProfileFileTest, ReadOnlyFolderRefusesTheSave) {
    const fs::path p = m_dir / "zoripost.ini";
    writeText(p, "[a]\r\nk=1\r\n");
    fs::permissions(m_dir, fs::perms(0555));
    const bool permissionsBind = ::access(m_dir.string().c_str(), W_OK) != 0;
    zp::FileSystemCalls refuse;
    refuse.rename = [](const char*, const char*) {
        errno = EROFS;
        return -1;
    };
    if (!permissionsBind)
        zp::setFileSystemCalls(&refuse);
    ProfileFile f(p.string());
    ASSERT_TRUE(f.load());
    f.writeInt("a", "k", 2);
    EXPECT_FALSE(f.save());
    EXPECT_EQ(readText(p), "[a]\r\nk=1\r\n");
    fs::permissions(m_dir, fs::perms(0755));
    EXPECT_EQ(entries(), std::vector<std::string>{"zoripost.ini"});
}

// A file without write permission is write-protected, for root as well.
TEST_F(ProfileFileTest, WriteProtectedFileIsNotReplaced) {
    const fs::path p = m_dir / "zoripost.ini";
    writeText(p, "[a]\r\nk=1\r\n");
    fs::permissions(p, fs::perms(0444)); // the read-only attribute on Windows
    ProfileFile f(p.string());
    ASSERT_TRUE(f.load());
    f.writeInt("a", "k", 2);
    EXPECT_FALSE(f.save());
    EXPECT_NE(f.error().find("write-protected"), std::string::npos) << f.error();
    EXPECT_EQ(readText(p), "[a]\r\nk=1\r\n");
    EXPECT_EQ(entries(), std::vector<std::string>{"zoripost.ini"});
    fs::permissions(p, fs::perms(0644)); // so that the folder can go
}

// Refused for every user, root included: the "folder" is a plain file. POSIX says the path
// is no folder; Windows says it is not found.
#ifdef _WIN32
constexpr int kPathThroughAFile = ENOENT;
#else
constexpr int kPathThroughAFile = ENOTDIR;
#endif

// Refused for every user, root included: the "folder" is a plain file.
TEST_F(ProfileFileTest, FolderThatIsAFileRefusesTheSave) {
    writeText(m_dir / "notafolder", "x");
    ProfileFile f((m_dir / "notafolder" / "zoripost.ini").string());
    EXPECT_TRUE(f.load() || !f.error().empty());
    f.writeInt("a", "k", 1);
    EXPECT_FALSE(f.save());
    EXPECT_NE(f.error().find(std::strerror(kPathThroughAFile)), std::string::npos) << f.error();
    EXPECT_EQ(readText(m_dir / "notafolder"), "x");
}

} // namespace
