// The entry text form, the address dialog's cleaning rules and the drop arithmetic of the
// recipient list, on Shift-JIS bytes made by glibc's iconv.
#include "addressbook/addredit.h"
#include "addressbook/addrentry.h"
#include "mail_text_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zp::test::hex;
using zp::test::sjis;

struct EntryRow {
    const char* what;
    std::string entry;
    std::string name;
    std::string address;
    bool formatsBack; // formatAddrEntry(name, address) gives the entry again
};

void PrintTo(const EntryRow& r, std::ostream* os) {
    *os << r.what << ": " << hex(r.entry);
}

class EntryText : public ::testing::TestWithParam<EntryRow> {};

TEST_P(EntryText, ParsesAndFormats) {
    const EntryRow& r = GetParam();
    const zp::AddrEntry parsed = zp::parseAddrEntry(r.entry);
    EXPECT_EQ(hex(parsed.name), hex(r.name));
    EXPECT_EQ(hex(parsed.address), hex(r.address));
    EXPECT_EQ(zp::formatAddrEntry(r.name, r.address) == r.entry, r.formatsBack);
}

// 1000 double-byte characters whose trail byte is 0x5C, then " (", 44 address bytes, ")".
const std::string kLongName = [] {
    std::string s;
    for (int i = 0; i < 500; ++i)
        s += sjis("表ソ");
    return s;
}();
const std::string kLongAddress = std::string(32, 'a') + "@example.jp.";

INSTANTIATE_TEST_SUITE_P(
    Rows, EntryText,
    ::testing::Values(
        EntryRow{"address only", "a@example.jp", "", "a@example.jp", true},
        EntryRow{"empty", "", "", "", true},
        EntryRow{"name", sjis("山田 (a@example.jp)"), sjis("山田"), "a@example.jp", true},
        EntryRow{"kanji of the extension rows",
                 sjis("髙橋①"
                      " (t@example.jp)"),
                 sjis("髙橋①"), "t@example.jp", true},
        EntryRow{"parenthesis in the name", "A(B (c@x.jp)", "A(B", "c@x.jp", true},
        EntryRow{"blank and parenthesis in the name", "A (B (c@x.jp)", "A", "B (c@x.jp", true},
        EntryRow{"empty rest", "X (", "X", "", false},
        EntryRow{"no closing parenthesis", "X (a@x.jp", "X", "a@x.jp", false},
        EntryRow{"one parenthesis only is dropped", "X (a@x.jp))", "X", "a@x.jp)", true},
        EntryRow{"blank name before the parenthesis", " (a@x.jp)", "", "a@x.jp", false},
        EntryRow{"nothing trimmed", sjis(" 山田  (  a@x.jp )"), sjis(" 山田 "), "  a@x.jp ", true},
        EntryRow{"trail bytes 0x5C", sjis("表ソ (ソ表@x.jp)"), sjis("表ソ"), sjis("ソ表@x.jp"),
                 true},
        EntryRow{"full-width blank before (", sjis("山田　(a@x.jp)"), "", sjis("山田　(a@x.jp)"),
                 true},
        EntryRow{"full-width blank in the name", sjis("山　田 (a@x.jp)"), sjis("山　田"), "a@x.jp",
                 true},
        EntryRow{"stray lead byte takes the blank", "\x81 (a@x.jp)", "", "\x81 (a@x.jp)", true},
        EntryRow{"stray lead byte takes the last )", "X (a\x81)", "X", "a\x81)", false},
        EntryRow{"2047 bytes", kLongName + " (" + kLongAddress + ")", kLongName, kLongAddress,
                 true}));

TEST(EntryText, LongRowIsAtTheSettingsLimit) {
    EXPECT_EQ(zp::formatAddrEntry(kLongName, kLongAddress).size(), zp::kMaxAddrEntryBytes);
    EXPECT_EQ(sjis("表ソ　"), "\x95\x5C\x83\x5C\x81\x40") << "the trail bytes under test";
}

struct CleanRow {
    const char* what;
    std::string name;
    std::string address;
    zp::AddrInputCheck check;
    std::string entry;
};

void PrintTo(const CleanRow& r, std::ostream* os) {
    *os << r.what;
}

class DialogCleaning : public ::testing::TestWithParam<CleanRow> {};

TEST_P(DialogCleaning, GivesTheEntry) {
    const CleanRow& r = GetParam();
    const zp::AddrInput in = zp::cleanAddrInput(r.name, r.address);
    EXPECT_EQ(in.check, r.check);
    EXPECT_EQ(hex(in.entry), hex(r.entry));
    if (r.check == zp::AddrInputCheck::Ok) {
        // What the dialog makes always parses back into the cleaned parts.
        const zp::AddrEntry back = zp::parseAddrEntry(in.entry);
        EXPECT_EQ(hex(back.name), hex(zp::cleanAddrName(r.name)));
        EXPECT_EQ(hex(back.address), hex(zp::cleanAddrAddress(r.address)));
    }
}

using C = zp::AddrInputCheck;
INSTANTIATE_TEST_SUITE_P(
    Rows, DialogCleaning,
    ::testing::Values(
        CleanRow{"no name", "", "a@x.jp", C::Ok, "a@x.jp"},
        CleanRow{"name", sjis("山田"), "a@x.jp", C::Ok, sjis("山田 (a@x.jp)")},
        CleanRow{"blank before ( goes", "A (B", "a@x.jp", C::Ok, "A(B (a@x.jp)"},
        CleanRow{"several blanks before ( all go", "A   (B  (C", "a@x.jp", C::Ok, "A(B(C (a@x.jp)"},
        CleanRow{"name ending in a blank and (", "A (", "a@x.jp", C::Ok, "A( (a@x.jp)"},
        CleanRow{"name only blanks", "  ", "a@x.jp", C::Ok, "   (a@x.jp)"},
        CleanRow{"other blanks stay", " A B ", "a@x.jp", C::Ok, " A B  (a@x.jp)"},
        CleanRow{"parentheses leave the address", "N", "(a)@x.jp)", C::Ok, "N (a@x.jp)"},
        CleanRow{"blanks in the address stay", "", " a@x.jp ", C::Ok, " a@x.jp "},
        CleanRow{"trail bytes 0x5C and 0x40 untouched", sjis("表　(ソ"), sjis("ソ　表"), C::Ok,
                 sjis("表　(ソ (ソ　表)")},
        CleanRow{"empty address", sjis("山田"), "", C::EmptyAddress, ""},
        CleanRow{"blank address", "N", " \t ", C::EmptyAddress, ""},
        CleanRow{"() is empty once cleaned", "N", "()", C::EmptyAddress, ""},
        CleanRow{"( ) is blank once cleaned", "", " ( ) ", C::EmptyAddress, ""},
        CleanRow{"full-width blank is a character", "", sjis("　"), C::Ok, sjis("　")},
        CleanRow{"entry of 2047 bytes", std::string(2000, 'n'), std::string(44, 'a'), C::Ok,
                 std::string(2000, 'n') + " (" + std::string(44, 'a') + ")"},
        CleanRow{"entry of 2048 bytes", std::string(2000, 'n'), std::string(45, 'a'), C::TooLong,
                 ""},
        CleanRow{"parentheses do not count", std::string(2000, 'n'), std::string(44, 'a') + "()",
                 C::Ok, std::string(2000, 'n') + " (" + std::string(44, 'a') + ")"}));

struct DropRow {
    const char* what;
    int source;
    int target;
    const char* after; // the entries a..e after the drop; upper case is checked
};

void PrintTo(const DropRow& r, std::ostream* os) {
    *os << r.what;
}

class DropRule : public ::testing::TestWithParam<DropRow> {};

// Five entries a..e, b and d checked (upper case), as the list would apply the steps.
TEST_P(DropRule, MovesTheEntryWithItsCheck) {
    const DropRow& r = GetParam();
    std::string list = "aBcDe";
    if (const auto steps = zp::dropSteps(static_cast<int>(list.size()), r.source, r.target)) {
        list.insert(list.begin() + steps->insertAt, list[static_cast<std::size_t>(r.source)]);
        list.erase(list.begin() + steps->removeAt);
    }
    EXPECT_EQ(list, r.after);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DropRule,
    ::testing::Values(
        DropRow{"first onto middle", 0, 2, "BcaDe"}, DropRow{"first onto last", 0, 4, "BcDea"},
        DropRow{"middle onto first", 2, 0, "caBDe"}, DropRow{"checked onto next", 1, 2, "acBDe"},
        DropRow{"checked onto previous", 3, 2, "aBDce"}, DropRow{"last onto first", 4, 0, "eaBcD"},
        DropRow{"last onto second", 4, 1, "aeBcD"}, DropRow{"middle onto last", 2, 4, "aBDec"},
        DropRow{"onto itself", 2, 2, "aBcDe"}, DropRow{"below the last entry", 1, -1, "aBcDe"},
        DropRow{"past the end", 1, 5, "aBcDe"}, DropRow{"no source", -1, 2, "aBcDe"},
        DropRow{"stale source", 5, 2, "aBcDe"}));

} // namespace
