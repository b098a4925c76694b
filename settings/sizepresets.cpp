#include "settings/sizepresets.h"

#include <charconv>

namespace zp {

namespace {

constexpr const char* kTimes = "\x81\x7e"; // "×"

int numberOrZero(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return (ec == std::errc() && ptr == end && !text.empty()) ? value : 0;
}

} // namespace

const std::array<std::string, 10>& sizePresetItems() {
    // "縦" is \x8f\x63; the strings are split after it so that no letter joins the escape.
    static const std::array<std::string, 10> items = {
        "\x92\xbc\x90\xda\x8e\x77\x92\xe8", // 直接指定
        "\x8f\x63"
        "QVGA   240\x81\x7e"
        "320",
        "\x8f\x63"
        "WQVGA  240\x81\x7e"
        "400",
        "\x8f\x63"
        "VGA    480\x81\x7e"
        "640",
        "\x8f\x63"
        "VGA+   480\x81\x7e"
        "690",
        "\x8f\x63"
        "WVGA   480\x81\x7e"
        "800",
        "\x8f\x63"
        "WVGA+  480\x81\x7e"
        "854",
        "\x8f\x63"
        "FWVGA  480\x81\x7e"
        "864",
        "\x8f\x63"
        "QHD    540\x81\x7e"
        "960",
        "\x8f\x63"
        "DVGA   640\x81\x7e"
        "960",
    };
    return items;
}

FrameSize parseSizePreset(const std::string& itemText) {
    const std::size_t blank = itemText.find_last_of(' ');
    const std::string tail = blank == std::string::npos ? itemText : itemText.substr(blank + 1);
    const std::size_t times = tail.find(kTimes);
    if (times == std::string::npos) {
        return {numberOrZero(tail), 0};
    }
    return {numberOrZero(tail.substr(0, times)), numberOrZero(tail.substr(times + 2))};
}

int findSizePreset(int width, int height) {
    const auto& items = sizePresetItems();
    for (std::size_t i = 1; i < items.size(); ++i) {
        if (parseSizePreset(items[i]) == FrameSize{width, height}) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

} // namespace zp
