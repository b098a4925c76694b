// Address-book files read into contacts (vCard 2.1, 3.0, 4.0 and the CSV of address books),
// the contacts turned into entries of the recipient list, and the list written as vCard
// 3.0; vobject (Debian's python3-vobject) writes cards for us to read and reads ours back.
#include "addressbook/addrbook.h"
#include "addressbook/contactfile.h"
#include "mail_text_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zp::ContactFileFault;
using zp::test::sjis;
using F = ContactFileFault;

// "name<a,b>" per contact, or the fault and its line.
std::string shown(const zp::ContactFile& file) {
    if (!file.ok())
        return "fault " + std::to_string(static_cast<int>(file.error.fault)) + " at " +
               std::to_string(file.error.line) + " " + file.error.detail;
    std::string out;
    for (const zp::Contact& c : file.contacts) {
        out += c.name + "<";
        for (std::size_t i = 0; i < c.addresses.size(); ++i)
            out += (i ? "," : "") + c.addresses[i];
        out += ">";
    }
    return out;
}

std::string fault(F f, std::size_t line, const std::string& detail = {}) {
    return shown({{f, line, detail}, {}});
}

struct ReadRow {
    const char* what;
    std::string bytes;
    std::string expected;
};

void PrintTo(const ReadRow& r, std::ostream* os) {
    *os << r.what;
}

class ContactReading : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ContactReading, GivesNamesAndAddresses) {
    EXPECT_EQ(shown(zp::readContacts(GetParam().bytes)), GetParam().expected);
}

const std::string kCard30 = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
const std::string kEnd = "END:VCARD\r\n";
const std::string kCsvHeader = "First Name,Middle Name,Last Name,E-mail 1 - Label,"
                               "E-mail 1 - Value,E-mail 2 - Label,E-mail 2 - Value\r\n";

INSTANTIATE_TEST_SUITE_P(
    VCard, ContactReading,
    ::testing::Values(
        ReadRow{"3.0 folded inside a character, grouped and escaped",
                kCard30 +
                    "FN:山田\xE5\r\n \xA4\xAA\\, 次郎\r\nitem1.EMAIL;TYPE=INTERNET:a@x.jp\r\n" +
                    "item2.EMAIL:b@x.jp\r\n" + kEnd,
                "山田太, 次郎<a@x.jp,b@x.jp>"},
        ReadRow{"4.0 with a colon in a quoted parameter, LF line ends",
                "BEGIN:VCARD\nVERSION:4.0\nFN:Ann\nEMAIL;TYPE=\"work:x\":ann@x.org\nEND:VCARD\n",
                "Ann<ann@x.org>"},
        ReadRow{"N only, ASCII: given name first",
                kCard30 + "N:Doe;John;;;\r\nEMAIL:j@x.org\r\n" + kEnd, "John Doe<j@x.org>"},
        ReadRow{"N only, Japanese: family name first",
                kCard30 + "N:山田;太郎;;;\r\nEMAIL:t@x.jp\r\n" + kEnd, "山田 太郎<t@x.jp>"},
        ReadRow{"ORG when there is no name", kCard30 + "ORG:Acme;Sales\r\nEMAIL:s@x.org\r\n" + kEnd,
                "Acme<s@x.org>"},
        ReadRow{"no name at all", kCard30 + "EMAIL:n@x.org\r\n" + kEnd, "<n@x.org>"},
        ReadRow{"readings left, line break in FN made a blank",
                kCard30 +
                    "FN:A\\nB\r\nSORT-STRING:yomi\r\nX-PHONETIC-FIRST-NAME:y\r\nEMAIL:ab@x\r\n" +
                    kEnd,
                "A B<ab@x>"},
        ReadRow{"2.1 bare QUOTED-PRINTABLE, soft break, CR line ends",
                "BEGIN:VCARD\rVERSION:2.1\rFN;QUOTED-PRINTABLE;CHARSET=UTF-8:=E5=B1=\r=B1\r"
                "EMAIL;INTERNET:q@x.jp\rEND:VCARD\r",
                "山<q@x.jp>"},
        ReadRow{"2.1 fold keeps its blank",
                "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:John\r\n Smith\r\nEMAIL:j@x\r\n" + kEnd,
                "John Smith<j@x>"},
        ReadRow{"2.1 raw Shift-JIS without a charset",
                "BEGIN:VCARD\r\nVERSION:2.1\r\nN:" + sjis("表;ソ") + "\r\nEMAIL:h@x.jp\r\n" + kEnd,
                "表 ソ<h@x.jp>"},
        ReadRow{"nested AGENT card and a card without address",
                kCard30 + "FN:Boss\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:Aide\r\nEMAIL:aide@x\r\n" + kEnd +
                    "EMAIL:boss@x\r\n" + kEnd + kCard30 + "FN:Nobody\r\n" + kEnd,
                "Boss<boss@x>"},
        ReadRow{"last card not ended", kCard30 + "FN:Cut\r\nEMAIL:c@x", "Cut<c@x>"},
        ReadRow{"broken quoted-printable",
                kCard30 + "FN:ok\r\nNOTE;ENCODING=QUOTED-PRINTABLE:=ZZ\r\n" + kEnd,
                fault(F::BadQuotedPrintable, 4)},
        ReadRow{"line over a megabyte",
                kCard30 + "NOTE:" + std::string(zp::kMaxContactLineBytes, 'x') + "\r\n" + kEnd,
                fault(F::LineTooLong, 3)},
        ReadRow{"line of exactly a megabyte",
                kCard30 + "EMAIL:" + std::string(zp::kMaxContactLineBytes - 8, 'x') + "@x\r\n" +
                    kEnd,
                "<" + std::string(zp::kMaxContactLineBytes - 8, 'x') + "@x>"},
        ReadRow{"over the size bound", std::string(zp::kMaxContactFileBytes + 1, '\n'),
                fault(F::TooLarge, 0)},
        ReadRow{"too many addresses",
                [] {
                    std::string s = kCard30;
                    for (std::size_t i = 0; i <= zp::kMaxContactAddresses; ++i)
                        s += "EMAIL:a@x\r\n";
                    return s;
                }(),
                fault(F::TooManyAddresses, 100003)},
        ReadRow{"plain text", "hello\r\nworld\r\n", fault(F::UnknownFormat, 0)},
        ReadRow{"empty file", "", fault(F::UnknownFormat, 0)}));

INSTANTIATE_TEST_SUITE_P(
    Csv, ContactReading,
    ::testing::Values(
        ReadRow{"Google's newer layout, UTF-8 with a BOM",
                "\xEF\xBB\xBF" + kCsvHeader +
                    "太郎,,山田,* Home,t@x.jp ::: t2@x.jp,Work,w@x.jp\r\n",
                "山田 太郎<t@x.jp,t2@x.jp,w@x.jp>"},
        ReadRow{"quoted comma, doubled quote and line break",
                "Display Name,Primary Email\r\n\"A, \"\"B\"\"\nC\",a@x.org\r\n\"\",\r\n",
                "A, \"B\" C<a@x.org>"},
        ReadRow{"Shift-JIS", sjis("表示名,メールアドレス\r\n鈴木,s@x.jp\r\n"), "鈴木<s@x.jp>"},
        ReadRow{"header without an address column", "Name,Phone\r\nA,1\r\n",
                fault(F::UnknownFormat, 0)},
        ReadRow{"4096 fields", "Primary Email" + std::string(4095, ',') + "\r\na@x\r\n", "<a@x>"},
        ReadRow{"4097 fields over quoted line breaks",
                "Primary Email\r\na@x" + std::string(3000, ',') + "\"\n\"" + std::string(1096, ','),
                fault(F::TooManyFields, 3)},
        ReadRow{"quote left open", "Name,Primary Email\r\nA,b@x\r\n\"C,\r\nd@x\r\n",
                fault(F::UnclosedQuote, 3)}));

struct PlanRow {
    const char* what;
    std::vector<std::string> existing; // UTF-8
    std::vector<zp::Contact> contacts;
    std::string expected; // the entries, then "dup N" and "refused N: why character"
};

void PrintTo(const PlanRow& r, std::ostream* os) {
    *os << r.what;
}

class ImportPlan : public ::testing::TestWithParam<PlanRow> {};

TEST_P(ImportPlan, AddsSkipsAndRefuses) {
    std::vector<std::string> existing;
    for (const std::string& e : GetParam().existing)
        existing.push_back(sjis(e));
    const zp::AddrImport plan = zp::planAddrImport(existing, GetParam().contacts);
    std::string got;
    for (const std::string& e : plan.entries)
        got += zp::test::iconvText(e, "UTF-8", "CP932") + " | ";
    if (plan.duplicates > 0)
        got += "dup " + std::to_string(plan.duplicates) + " | ";
    static const char* const kWhy[] = {"", "address", "name", "long", "full"};
    if (plan.refused > 0)
        got += "refused " + std::to_string(plan.refused) + ": " +
               kWhy[static_cast<int>(plan.firstRefused.why)] + plan.firstRefused.character + " | ";
    EXPECT_EQ(got, GetParam().expected);
}

const std::string kLongName(2047 - 9, 'n');

INSTANTIATE_TEST_SUITE_P(
    Rows, ImportPlan,
    ::testing::Values(
        PlanRow{"one entry per address, after the list",
                {"a@x.jp"},
                {{"山田 太郎", {"t@x.jp", "y@x.jp"}}},
                "山田 太郎 (t@x.jp) | 山田 太郎 (y@x.jp) | "},
        PlanRow{"duplicates of the list and of the file, any case",
                {"山田 (T@X.jp)"},
                {{"A", {"t@x.JP", "b@x"}}, {"B", {"B@x"}}},
                "A (b@x) | dup 2 | "},
        PlanRow{"wave dash folded as the dialog folds", {}, {{"〜", {"w@x"}}}, "～ (w@x) | "},
        PlanRow{"the dialog's cleaning", {}, {{"A (B", {"c@x"}}}, "A(B (c@x) | "},
        PlanRow{"a character Shift-JIS lacks",
                {},
                {{"Zoë 😀", {"z@x", "z2@x"}}, {"OK", {"k@x"}}},
                "OK (k@x) | refused 2: nameë | "},
        PlanRow{"address refused before the name",
                {},
                {{"😀", {"no at", "a (b)@x", "<a@x>", "@x", "x@", "日@x"}}},
                "refused 6: address | "},
        PlanRow{"entry of 2047 bytes and of 2048",
                {},
                {{kLongName, {"a@x.jp", "ab@x.jp"}}},
                kLongName + " (a@x.jp) | refused 1: long | "},
        PlanRow{"full list",
                std::vector<std::string>(zp::kMaxAddrEntries, "d@x"),
                {{"", {"a@x", "D@x"}}},
                "dup 1 | refused 1: full | "}));

// Names with the characters vCard escapes, a line break, a long name that folds, and an
// entry without a name.
TEST(AddrBookExport, ReadsBackInVobject) {
    const std::string longName = [] {
        std::string s;
        for (int i = 0; i < 40; ++i)
            s += "寿限無";
        return s;
    }();
    const std::vector<std::string> entries = {sjis("山田 太郎 (t@x.jp)"),
                                              "Smith, John; Jr\\ (j@x.org)",
                                              sjis(longName + " (long@x.jp)"), "bare@x.org"};
    const std::string vcf = zp::writeVCards(entries);
    EXPECT_NE(vcf.find("FN:Smith\\, John\\; Jr\\\\\r\n"), std::string::npos) << vcf;
    zp::test::TempDir dir;
    zp::test::writeText(dir.file("out.vcf"), vcf);
    std::string out;
    ASSERT_TRUE(zp::test::runCommand(std::string(ZP_SYSTEM_PYTHON) + " '" + ZP_TEST_SCRIPTS +
                                         "/vcards.py' read '" + dir.file("out.vcf") + "'",
                                     &out));
    EXPECT_EQ(out, "山田 太郎\tt@x.jp\nSmith, John; Jr\\\tj@x.org\n" + longName +
                       "\tlong@x.jp\nbare@x.org\tbare@x.org\n");
    for (std::size_t start = 0, end; (end = vcf.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        EXPECT_LE(end - start, 75u) << "line folded at 75 bytes";
    // Our own reader takes it back as well.
    EXPECT_EQ(shown(zp::readContacts(vcf)), "山田 太郎<t@x.jp>Smith, John; Jr\\<j@x.org>" +
                                                longName + "<long@x.jp>bare@x.org<bare@x.org>");
}

TEST(AddrBookImport, ReadsCardsWrittenByVobject) {
    zp::test::TempDir dir;
    ASSERT_TRUE(zp::test::runCommand(std::string(ZP_SYSTEM_PYTHON) + " '" + ZP_TEST_SCRIPTS +
                                     "/vcards.py' write '" + dir.file("in.vcf") + "'"));
    std::string jugemu;
    for (int i = 0; i < 3; ++i)
        jugemu += "寿限無寿限無五劫の擦り切れ海砂利水魚の水行末雲来末風来末食う寝る処に住む処";
    EXPECT_EQ(shown(zp::readContacts(zp::test::readText(dir.file("in.vcf")))),
              "山田 太郎<taro@example.jp,yamada@work.example.jp>Smith, John<john@example.com>" +
                  jugemu + "<jugemu@example.jp>");
}

} // namespace
