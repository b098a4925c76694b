// Feeds arbitrary bytes to the profile-file parser as a settings file, then checks that
// what it writes reads back: serialising is stable, a written value reads back as it
// was (up to the read cap), and the other keys keep their values. A value typed as UTF-8
// reads back whole, every character Shift-JIS cannot hold included.
#include "settings/profile.h"
#include "text/cp932.h"
#include "text/utf8.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// A value from the input's last bytes: anything but line breaks, which a profile line
// cannot hold.
std::string valueFrom(std::string_view data) {
    std::string v(data.substr(data.size() > 64 ? data.size() - 64 : 0));
    for (char& c : v)
        if (c == '\r' || c == '\n')
            c = 'x';
    return v;
}

// What a typed text reads back as: each character, except that the forms folded onto the
// code page's own come back as those.
std::string typedReadBack(std::string_view utf8) {
    std::string out;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t c = zp::nextUtf8(utf8, pos);
        std::string one;
        zp::appendUtf8(one, c);
        out += zp::cp932Holds(c) ? zp::sjisToUtf8(zp::utf8ToSjis(one)) : one;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    zp::ProfileFile file("fuzz.ini");
    file.loadFromText(data);

    const char* sections[] = {"jpeg", "mail", "General", "WinPosition"};
    const char* keys[] = {"quality", "body1", "autoSend", "x"};
    std::string before[4];
    for (int i = 0; i < 4; ++i) {
        before[i] = file.readString(sections[i], keys[i], "<none>");
        check(before[i].size() <= zp::ProfileFile::kMaxValueBytes || before[i] == "<none>");
        (void)file.readInt(sections[i], keys[i], 7);
    }

    const std::string text = file.text();
    zp::ProfileFile again("fuzz.ini");
    again.loadFromText(text);
    check(again.text() == text);

    // Write one value into "mail"/"fuzzkey" and delete "General"/"autoSend".
    const std::string value = valueFrom(data);
    again.writeString("mail", "fuzzkey", value);
    again.deleteKey("general", "AUTOSEND");
    zp::ProfileFile back("fuzz.ini");
    back.loadFromText(again.text());
    check(back.readString("MAIL", "FuzzKey", "<none>") == value);
    for (int i : {0, 3})
        check(back.readString(sections[i], keys[i], "<none>") == before[i]);

    back.writeText("mail", "title", value);
    zp::ProfileFile typed("fuzz.ini");
    typed.loadFromText(back.text());
    check(typed.readText("mail", "title", "<none>") == typedReadBack(value));
    return 0;
}
