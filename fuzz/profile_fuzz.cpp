// Feeds arbitrary bytes to the profile-file parser as a settings file, then checks that
// what it writes reads back: serialising is stable, a written value reads back as it
// was (up to the read cap), and the other keys keep their values.
#include "settings/profile.h"

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
    return 0;
}
