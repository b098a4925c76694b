#pragma once
// The target-size presets of the picture settings page, which the settings file and the
// picture page both read. The item texts are Shift-JIS; the sizes are read out of them,
// never stored separately.
#include <array>
#include <string>

namespace zp {

struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};

// Item 0 is "直接指定" (typed in); items 1 to 9 end in "<width>×<height>".
const std::array<std::string, 10>& sizePresetItems();

// The part after the last blank, split at the first "×": width before it, height after it;
// a part that is not a number gives 0.
FrameSize parseSizePreset(const std::string& itemText);

// The first item from 1 on whose size is width x height; 0 when none is.
int findSizePreset(int width, int height);

} // namespace zp
