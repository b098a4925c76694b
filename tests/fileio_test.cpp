// The file library on a temporary folder: what a replacement or an exclusive creation does
// with a file, a link to a file, or a link to a missing file standing at its name; and
// Shift-JIS names as paths.
#include "fileio/fileio.h"
#include "support/files.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace zp::fileio;

enum class Op { ReplaceFollowing, ReplaceNotFollowing, CreateNew };
enum class Before {
    Nothing,
    File,
    LinkToFile,
    LinkToMissing,
    ReadOnlyFile,
    FileHeldOpen,        // by another reader, throughout
    FileHeldForAMoment,  // by another reader, closed 200 ms after the replacement starts
    FileOpenByOurReader, // by the library's own reading, throughout
};

struct Row {
    const char* name;
    Op op;
    Before before;
    bool succeeds;
    bool linkStays;         // the name is still a link afterwards
    const char* atName;     // what reading the name gives afterwards
    const char* linkTarget; // the file "other" afterwards ("" when it is to be absent)
    // The file's name, in UTF-8, and the folder it is in (made first when not "").
    const char8_t* file = u8"name";
    const char8_t* folder = u8"";
    // The library is handed the name relative to the current folder.
    bool relative = false;
};

void PrintTo(const Row& r, std::ostream* os) {
    *os << r.name;
}

// Windows refuses to rename over a file another handle holds open without delete sharing, as
// a reader's does: the replacement waits about a second for it and is then refused whole, the
// old file and nothing else left.
#ifdef _WIN32
constexpr bool kHeldOpenFileCanBeReplaced = false;
#else
constexpr bool kHeldOpenFileCanBeReplaced = true;
#endif

// The fixture's own view of a path. On Windows the `\\?\` form, so that the folder is made,
// filled and read back under its real name, a dot or a space at its end included; the
// library is handed the ordinary form, as a user's path comes.
fs::path real(const fs::path& path) {
#ifdef _WIN32
    return fs::path(L"\\\\?\\" + fs::path(path).make_preferred().native());
#else
    return path;
#endif
}

// The fixture's folder calls, which on Windows go to the system directly: the C++ library's
// folder iteration and removal do not take a name ending in a dot or a space.
bool makeFolder(const fs::path& dir) {
#ifdef _WIN32
    return CreateDirectoryW(real(dir).c_str(), nullptr) != 0;
#else
    return fs::create_directory(dir);
#endif
}

std::vector<fs::path> namesIn(const fs::path& dir) {
    std::vector<fs::path> names;
#ifdef _WIN32
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW((real(dir).native() + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.emplace_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
#else
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename());
#endif
    return names;
}

// Empties the folder (files, and folders of files) so that the temporary folder goes at the end.
void removeFolder(const fs::path& dir) {
#ifdef _WIN32
    for (const fs::path& name : namesIn(dir)) {
        const std::wstring path = real(dir / name).native();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            removeFolder(dir / name);
        } else {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    }
    RemoveDirectoryW(real(dir).c_str());
#else
    std::error_code ignored;
    fs::remove_all(dir, ignored);
#endif
}

// Restores the current folder when a row that changed it ends.
class CurrentFolder {
public:
    explicit CurrentFolder(const fs::path& to) : m_was(fs::current_path()) { fs::current_path(to); }
    ~CurrentFolder() {
        std::error_code ignored;
        fs::current_path(m_was, ignored);
    }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    fs::path m_was;
};

// A folder name of 252 characters: with the temporary folder's path the whole path is longer
// than the 260 characters Windows allows without the `\\?\` form.
constexpr const char8_t* kLongFolder =
    u8"long_folder_name_0123456789012345678901234567890123456789012345678901234567890123456789"
    u8"0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567"
    u8"89012345678901234567890123456789012345678901234567890123456789012345678901234";

class FileIo : public ::testing::TestWithParam<Row> {
protected:
    zp::test::TempDir m_tmp{"zp_fileio_"};
    const fs::path& m_dir = m_tmp.path();
};

TEST_P(FileIo, LeavesTheNameAndWhatALinkPointsToAsTheRowSays) {
    const Row& r = GetParam();
    const fs::path dir = *r.folder ? m_dir / fs::path(r.folder) : m_dir;
    const fs::path name = dir / fs::path(r.file);
    const fs::path other = m_dir / "other";
    if (dir != m_dir) {
        ASSERT_TRUE(makeFolder(dir));
    }
    if (r.before != Before::Nothing && r.before != Before::LinkToFile &&
        r.before != Before::LinkToMissing)
        std::ofstream(real(name), std::ios::binary) << "old";
    if (r.before == Before::ReadOnlyFile) // the read-only attribute on Windows
        fs::permissions(name,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    if (r.before == Before::LinkToFile)
        std::ofstream(other, std::ios::binary) << "old";
    if (r.before == Before::LinkToFile || r.before == Before::LinkToMissing) {
        std::error_code made;
        fs::create_symlink(other, name, made);
        if (made == std::errc::function_not_supported ||
            made == std::errc::operation_not_permitted || made.value() == ENOSYS)
            GTEST_SKIP() << "this system makes no symbolic links: " << made.message();
        ASSERT_FALSE(made) << made.message();
    }
    // Another program reading the file while it is replaced (the C runtime's open shares
    // reading and writing, not deletion), for the whole time or only for a moment.
    std::ifstream reader;
    if (r.before == Before::FileHeldOpen || r.before == Before::FileHeldForAMoment)
        reader.open(real(name), std::ios::binary);
    ASSERT_EQ(reader.is_open(),
              r.before == Before::FileHeldOpen || r.before == Before::FileHeldForAMoment);
    std::thread releaser;
    if (r.before == Before::FileHeldForAMoment)
        releaser = std::thread([&reader] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            reader.close();
        });
    FileHandle ourReader(r.before == Before::FileOpenByOurReader ? openForReading(name) : -1);
    ASSERT_EQ(ourReader.ok(), r.before == Before::FileOpenByOurReader);
    const auto started = std::chrono::steady_clock::now();

    bool ok = false;
    std::string error;
    std::optional<CurrentFolder> here;
    if (r.relative)
        here.emplace(m_dir);
    const fs::path given = r.relative ? name.lexically_relative(m_dir) : name;
    if (r.op == Op::CreateNew) {
        ok = writeNewFile(given, "new") == Created::Ok;
    } else {
        ReplaceOptions options;
        options.link = r.op == Op::ReplaceFollowing ? LinkAtTarget::Follow : LinkAtTarget::Replace;
        options.keepMode = r.op == Op::ReplaceFollowing;
        options.durable = r.op == Op::ReplaceFollowing;
        ok = replaceFile(given, "new", options, error);
    }
    const auto took = std::chrono::steady_clock::now() - started;
    here.reset();
    if (releaser.joinable())
        releaser.join();
    EXPECT_EQ(ok, r.succeeds) << error;
    if (!ok && r.op != Op::CreateNew) {
        EXPECT_FALSE(error.empty()) << "a refusal says why";
        EXPECT_NE(error.find(displayPath(given)), std::string::npos) << error;
    }
    if (r.before == Before::FileHeldOpen && !ok) {
        EXPECT_NE(error.find("another program"), std::string::npos) << error;
        EXPECT_LT(took, std::chrono::seconds(5)) << "the wait for the holder is bounded";
    }
    reader.close();
    ourReader.close();
    EXPECT_EQ(fs::is_symlink(name), r.linkStays);
    EXPECT_EQ(zp::test::readText(real(name)), r.atName);
    if (r.before == Before::ReadOnlyFile)
        fs::permissions(name, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(fs::exists(fs::symlink_status(other)), *r.linkTarget != '\0');
    EXPECT_EQ(zp::test::readText(other), r.linkTarget);
    std::size_t files = 0;
    for (const fs::path& left : namesIn(dir)) {
        EXPECT_TRUE(left == name.filename() || left == "other") << left << " was left behind";
        ++files;
    }
    EXPECT_EQ(files, *r.linkTarget ? 2u : 1u) << "a temporary file was left behind";
    removeFolder(m_dir);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileIo,
    ::testing::Values(
        Row{"FollowingCreatesAMissingFile", Op::ReplaceFollowing, Before::Nothing, true, false,
            "new", ""},
        Row{"FollowingReplacesAFile", Op::ReplaceFollowing, Before::File, true, false, "new", ""},
        Row{"FollowingKeepsTheLinkAndReplacesItsFile", Op::ReplaceFollowing, Before::LinkToFile,
            true, true, "new", "new"},
        Row{"FollowingReplacesALinkToNothingAndCreatesNothingElsewhere", Op::ReplaceFollowing,
            Before::LinkToMissing, true, false, "new", ""},
        Row{"NotFollowingReplacesTheLinkAndLeavesItsFile", Op::ReplaceNotFollowing,
            Before::LinkToFile, true, false, "new", "old"},
        Row{"NotFollowingReplacesALinkToNothingAndCreatesNothingElsewhere", Op::ReplaceNotFollowing,
            Before::LinkToMissing, true, false, "new", ""},
        Row{"NotFollowingReplacesAFile", Op::ReplaceNotFollowing, Before::File, true, false, "new",
            ""},
        Row{"CreatingMakesAMissingFile", Op::CreateNew, Before::Nothing, true, false, "new", ""},
        Row{"CreatingNeverReplacesAFile", Op::CreateNew, Before::File, false, false, "old", ""},
        Row{"CreatingNeverWritesThroughALinkToAFile", Op::CreateNew, Before::LinkToFile, false,
            true, "old", "old"},
        Row{"CreatingNeverWritesThroughALinkToNothing", Op::CreateNew, Before::LinkToMissing, false,
            true, "", ""},
        // Names the ANSI code page cannot hold go through the wide-character file functions;
        // in a Shift-JIS name the second byte of ソ and 表 is 0x5C, the path separator.
        Row{"NameOutsideShiftJis", Op::ReplaceFollowing, Before::File, true, false, "new", "",
            u8"한국어_\U0001F600.ini"},
        Row{"ShiftJisNameWithBackslashTrailBytes", Op::ReplaceFollowing, Before::File, true, false,
            "new", "", u8"髙橋ソ表.ini"},
        Row{"CreatingANameOutsideShiftJis", Op::CreateNew, Before::Nothing, true, false, "new", "",
            u8"\u00e9t\u00e9_\u4e02.txt"},
        // A write-protected (read-only) file is refused, never replaced around its protection.
        Row{"ReadOnlyFileIsRefused", Op::ReplaceFollowing, Before::ReadOnlyFile, false, false,
            "old", ""},
        Row{"ReplacingAFileAnotherHandleHoldsOpen", Op::ReplaceFollowing, Before::FileHeldOpen,
            kHeldOpenFileCanBeReplaced, false, kHeldOpenFileCanBeReplaced ? "new" : "old", ""},
        Row{"ReplacingAFileAnotherHandleHoldsOpenForAMoment", Op::ReplaceNotFollowing,
            Before::FileHeldForAMoment, true, false, "new", ""},
        Row{"ReplacingAFileTheLibraryItselfIsReading", Op::ReplaceFollowing,
            Before::FileOpenByOurReader, true, false, "new", ""},
        // The file functions of Windows drop a dot or a space at the end of a name unless the
        // path is in the `\\?\` form: the file must land in the folder of that very name, and
        // a path of more than 260 characters must work too.
        Row{"FolderNameEndingInADot", Op::ReplaceFollowing, Before::Nothing, true, false, "new", "",
            u8"name", u8"folder."},
        Row{"FolderNameEndingInASpace", Op::ReplaceNotFollowing, Before::File, true, false, "new",
            "", u8"name", u8"folder "},
        Row{"FileNameEndingInADot", Op::CreateNew, Before::Nothing, true, false, "new", "",
            u8"name."},
        Row{"FileNameEndingInASpaceReplaced", Op::ReplaceFollowing, Before::File, true, false,
            "new", "", u8"name "},
        Row{"RelativePathThroughAFolderEndingInASpace", Op::ReplaceFollowing, Before::File, true,
            false, "new", "", u8"name", u8"folder ", true},
        Row{"RelativePathCreatingInAFolderEndingInADot", Op::CreateNew, Before::Nothing, true,
            false, "new", "", u8"name", u8"folder.", true},
        Row{"PathLongerThan260Characters", Op::ReplaceFollowing, Before::File, true, false, "new",
            "", u8"name.ini", kLongFolder}),
    [](const auto& info) { return std::string(info.param.name); });

#ifdef _WIN32
// The run has the ANSI code page of the users' Windows: 932, in which the program's 8-bit
// names are Shift-JIS (a Shift-JIS name whose second byte is 0x5C, the path separator, stays
// one character). A runner started in another locale (Wine's C locale gives 1252) fails here,
// by name, instead of in rows that only look like faults of the file code.
TEST(WindowsRun, AnsiCodePageIs932) {
    EXPECT_EQ(GetACP(), 932u);
    wchar_t wide[8] = {};
    EXPECT_EQ(
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\x95\x5C\x83\x5C.ini", -1, wide, 8), 7);
    EXPECT_EQ(std::wstring(wide), L"\u8868\u30BD.ini");
}

// The scratch file of a send is made in the user's temporary folder (the C runtime's tmpfile
// would make it in the root of the drive, which a user may not write) and goes with its close.
TEST(WindowsRun, ScratchFileInTheTemporaryFolderGoesWhenClosed) {
    const fs::path folder = fs::temp_directory_path() / L"zp-scratch-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::wstring temp = folder.native() + L"\\";
    const std::wstring previous = _wgetenv(L"TMP") ? _wgetenv(L"TMP") : L"";
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    std::FILE* f = openScratchFile();
    SetEnvironmentVariableW(L"TMP", previous.empty() ? nullptr : previous.c_str());
    ASSERT_NE(f, nullptr) << errno;
    ASSERT_GE(std::fputs("scratch", f), 0);
    std::rewind(f);
    char back[8] = {};
    EXPECT_EQ(std::fread(back, 1, 7, f), 7u);
    EXPECT_STREQ(back, "scratch");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    std::fclose(f);
    EXPECT_TRUE(fs::is_empty(folder));
    fs::remove_all(folder);
}

// The forms the wide-character file functions are given: absolute, backslashes, "." and ".."
// resolved without dropping a dot or a space at the end of a name, shares as \\?\UNC.
struct Win32PathRow {
    const char* name;
    std::wstring given, expected;
    bool fromCurrentFolder = false; // expected: the current folder, a backslash and `given`
};

void PrintTo(const Win32PathRow& r, std::ostream* os) {
    *os << r.name;
}

class Win32Path : public ::testing::TestWithParam<Win32PathRow> {};

TEST_P(Win32Path, IsAbsoluteAndLiteral) {
    const Win32PathRow& r = GetParam();
    const std::wstring expected = r.fromCurrentFolder
                                      ? L"\\\\?\\" + fs::current_path().native() + L"\\" + r.given
                                      : r.expected;
    EXPECT_EQ(win32Path(r.given), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Win32Path,
    ::testing::Values(
        Win32PathRow{"DrivePath", L"C:\\a\\b.ini", L"\\\\?\\C:\\a\\b.ini"},
        Win32PathRow{"ForwardSlashes", L"C:/a/b.ini", L"\\\\?\\C:\\a\\b.ini"},
        Win32PathRow{"DotsAndSpacesAtTheEndStay", L"C:\\a. \\b .\\c.", L"\\\\?\\C:\\a. \\b .\\c."},
        Win32PathRow{"DotAndDotDotResolved", L"C:\\a\\.\\x \\..\\b", L"\\\\?\\C:\\a\\b"},
        Win32PathRow{"Share", L"\\\\srv\\share\\f.ini", L"\\\\?\\UNC\\srv\\share\\f.ini"},
        Win32PathRow{"AlreadyLiteral", L"\\\\?\\C:\\a.\\..", L"\\\\?\\C:\\a.\\.."},
        Win32PathRow{"Relative", L"folder \\name", L"", true},
        // Nothing to open: the caller reports it.
        Win32PathRow{"Empty", L"", L""}),
    [](const auto& info) { return std::string(info.param.name); });
#endif

// Which names are temporary files of a target: the target's name, a dot and six letters or
// digits, nothing more.
struct TemporaryNameRow {
    const char* name;
    const char* target;
    bool temporary;
};

void PrintTo(const TemporaryNameRow& r, std::ostream* os) {
    *os << r.name;
}

class TemporaryName : public ::testing::TestWithParam<TemporaryNameRow> {};

TEST_P(TemporaryName, IsOneOfTheTargetsOnlyInItsOwnForm) {
    EXPECT_EQ(isTemporaryOf(GetParam().name, GetParam().target), GetParam().temporary);
}

INSTANTIATE_TEST_SUITE_P(Table, TemporaryName,
                         ::testing::Values(TemporaryNameRow{"x.ab12CD", "x", true},
                                           TemporaryNameRow{".sort.000000", ".sort", true},
                                           TemporaryNameRow{"x.ab12C", "x", false},
                                           TemporaryNameRow{"x.ab12CDE", "x", false},
                                           TemporaryNameRow{"y.ab12CD", "x", false},
                                           TemporaryNameRow{"x-ab12CD", "x", false},
                                           TemporaryNameRow{"x.ab 2CD", "x", false},
                                           TemporaryNameRow{"x.ab-2CD", "x", false},
                                           TemporaryNameRow{"x", "x", false}),
                         [](const auto& info) { return "row" + std::to_string(info.index); });

// Temporary files beside one target never share a name, and what is written reads back whole,
// in pieces larger and smaller than asked for.
TEST(TemporaryFile, NamesAreNewAndTheBytesReadBack) {
    zp::test::TempDir tmp{"zp_fileio_"};
    const fs::path target = tmp.path() / "target";
    std::set<fs::path> names;
    const std::string bytes(100000, 'z');
    for (int i = 0; i < 50; ++i) {
        fs::path temp;
        FileHandle out(createTemporary(target, temp, 0644));
        ASSERT_TRUE(out.ok()) << i;
        EXPECT_TRUE(isTemporaryOf(temp.filename(), target.filename())) << temp;
        EXPECT_TRUE(names.insert(temp).second) << temp << " given twice";
        int err = 0;
        ASSERT_TRUE(writeAll(out.fd(), bytes.substr(0, static_cast<std::size_t>(i) * 997), err));
        ASSERT_TRUE(out.close());
        FileHandle in(openForReading(temp));
        ASSERT_TRUE(in.ok());
        std::string back(static_cast<std::size_t>(i) * 997 + 10, '\0');
        EXPECT_EQ(readFull(in.fd(), back.data(), back.size()), i * 997) << i;
    }
    EXPECT_EQ(openForReading(tmp.path() / "missing"), -1);
}

// A Shift-JIS name as a path: every code of a character is read, the NEC-selected copies
// included; a byte or pair that is no character refuses the whole name.
struct PathRow {
    const char* name;
    std::string sjis;
    bool read;
    std::string utf8;
};

void PrintTo(const PathRow& r, std::ostream* os) {
    *os << r.name;
}

class SjisPath : public ::testing::TestWithParam<PathRow> {};

TEST_P(SjisPath, ReadsEveryCharacterAndRefusesTheRest) {
    const PathRow& r = GetParam();
    fs::path path("left over");
    EXPECT_EQ(sjisToPath(r.sjis, path), r.read);
    if (r.read) {
        const std::u8string u8 = path.u8string();
        EXPECT_EQ(std::string(u8.begin(), u8.end()), r.utf8);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SjisPath,
                         ::testing::Values(PathRow{"Empty", "", true, ""},
                                           PathRow{"TrailByteIsABackslash", "\x95\x5C/\x83\x5C",
                                                   true, "表/ソ"},
                                           PathRow{"IbmAndNecSelectedCodesOfOneCharacter",
                                                   "\xFB\xFC\xEE\xE0", true, "髙髙"},
                                           PathRow{"UserDefinedArea", "\xF0\x40", true, "\uE000"},
                                           PathRow{"LeadByteAtTheEnd", "ab\x82", false, ""},
                                           PathRow{"PairWithoutACharacter", "\x85\x40", false, ""},
                                           PathRow{"ByteWithoutACharacter", "\xA0", false, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
