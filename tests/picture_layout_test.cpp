// The picture area's geometry (scroll box, scroll bars, overview, its drag limits), desktop
// link files and the flattening of pasted pictures: plain functions, without a window.
#include "picture/bitmapops.h"
#include "picture/desktoplink.h"
#include "picture/previewlayout.h"
#include "picture_compare.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <ostream>

namespace zp {

// Failure messages name the rectangle.
void PrintTo(const PanelRect& r, std::ostream* os) {
    *os << '(' << r.left << ", " << r.top << ", " << r.width << " x " << r.height << ')';
}
void PrintTo(const PanelPoint& p, std::ostream* os) {
    *os << '(' << p.x << ", " << p.y << ')';
}

namespace {

using zp::test::PrintTo;

// --- scroll box ---------------------------------------------------------------------

struct LayoutCase {
    int width, height;
    int layoutCase;
    PanelRect box;
    ScrollBars bars;
};

class Layout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layout, PlacesTheScrollBoxByTheFirstCaseThatApplies) {
    const LayoutCase& c = GetParam();
    const PreviewLayout l = layoutPreview(c.width, c.height);
    EXPECT_EQ(l.layoutCase, c.layoutCase);
    EXPECT_EQ(l.scrollBox, c.box);
    EXPECT_EQ(l.bars, c.bars);
    EXPECT_EQ(l.showWhole, c.layoutCase != 1);
}

INSTANTIATE_TEST_SUITE_P(Frames, Layout,
                         ::testing::Values(
                             // Fits: centred on (132, 168), the frame's two pixels around it.
                             LayoutCase{240, 320, 1, {12, 8, 244, 324}, ScrollBars::None},
                             LayoutCase{132, 176, 1, {66, 80, 136, 180}, ScrollBars::None},
                             LayoutCase{24, 32, 1, {120, 152, 28, 36}, ScrollBars::None},
                             LayoutCase{256, 320, 1, {4, 8, 260, 324}, ScrollBars::None},
                             LayoutCase{255, 319, 1, {5, 9, 259, 323}, ScrollBars::None},
                             // Too tall only (width up to 240).
                             LayoutCase{240, 321, 2, {4, 8, 260, 324}, ScrollBars::Vertical},
                             LayoutCase{240, 400, 2, {4, 8, 260, 324}, ScrollBars::Vertical},
                             LayoutCase{100, 1080, 2, {74, 8, 120, 324}, ScrollBars::Vertical},
                             // Too wide only (height up to 304).
                             LayoutCase{320, 240, 3, {4, 40, 260, 260}, ScrollBars::Horizontal},
                             LayoutCase{257, 304, 3, {4, 8, 260, 324}, ScrollBars::Horizontal},
                             LayoutCase{1920, 32, 3, {4, 144, 260, 52}, ScrollBars::Horizontal},
                             // Everything else: both scroll bars.
                             LayoutCase{241, 321, 4, {4, 8, 260, 324}, ScrollBars::Both},
                             LayoutCase{256, 321, 4, {4, 8, 260, 324}, ScrollBars::Both},
                             LayoutCase{257, 305, 4, {4, 8, 260, 324}, ScrollBars::Both},
                             LayoutCase{480, 640, 4, {4, 8, 260, 324}, ScrollBars::Both},
                             LayoutCase{1920, 1080, 4, {4, 8, 260, 324}, ScrollBars::Both}));

// --- the overview -------------------------------------------------------------------

struct WholeCase {
    int step, boxW, boxH, frameW, frameH, left, top;
    PanelRect panel;
};

class WholePanel : public ::testing::TestWithParam<WholeCase> {};

TEST_P(WholePanel, ScalesTheFrameIntoAQuarterStepOfTheBox) {
    const WholeCase& c = GetParam();
    EXPECT_EQ(wholePanelRect(c.step, c.boxW, c.boxH, c.frameW, c.frameH, c.left, c.top), c.panel);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, WholePanel,
    ::testing::Values(
        // 480 x 640 in 260 x 324: w = 65 gives h = 86 > 81, so h = 81 and w = 60.
        WholeCase{1, 260, 324, 480, 640, 20, 24, {20, 24, 62, 83}},
        WholeCase{2, 260, 324, 480, 640, 20, 24, {20, 24, 123, 164}},
        WholeCase{3, 260, 324, 480, 640, 20, 24, {20, 24, 184, 245}},
        // 240 x 400 (the width limits): w = 65, h = 108 > 81: h = 81, w = 48.
        WholeCase{1, 260, 324, 240, 400, 20, 24, {20, 24, 50, 83}},
        // 320 x 240 in 260 x 260: the width decides, w = 65, h = 48.
        WholeCase{1, 260, 260, 320, 240, 20, 24, {20, 24, 67, 50}},
        WholeCase{3, 260, 260, 320, 240, 20, 24, {20, 24, 197, 148}},
        // Pushed back inside the right (259) and bottom (327) limits.
        WholeCase{1, 260, 324, 480, 640, 250, 300, {197, 244, 62, 83}},
        WholeCase{3, 260, 324, 480, 640, 100, 100, {75, 82, 184, 245}},
        WholeCase{1, 260, 324, 480, 640, 197, 244, {197, 244, 62, 83}},
        // A frame without pixels gives only the bevel.
        WholeCase{1, 260, 324, 0, 640, 20, 24, {20, 24, 2, 2}}));

TEST(WholePanel, JpegIsDrawnAtTheFrameScale) {
    // The frame 480 x 640 in an overview bitmap of 62 x 83; a JPEG narrower than the frame
    // covers only its share.
    EXPECT_EQ(wholeJpegSize(480, 640, 62, 83, 480, 640), (PanelSize{62, 83}));
    EXPECT_EQ(wholeJpegSize(480, 360, 62, 83, 480, 640), (PanelSize{62, 46}));
    EXPECT_EQ(wholeJpegSize(100, 100, 62, 83, 480, 640), (PanelSize{12, 12}));
    EXPECT_EQ(wholeJpegSize(100, 100, 62, 83, 0, 640), (PanelSize{}));
}

struct DragCase {
    PanelPoint pointer, grab;
    int panelW, panelH;
    PanelPoint to;
};

class WholeDrag : public ::testing::TestWithParam<DragCase> {};

TEST_P(WholeDrag, KeepsThePanelInsideItsLimits) {
    const DragCase& c = GetParam();
    EXPECT_EQ(dragWholePanel(c.pointer, c.grab, c.panelW, c.panelH), c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, WholeDrag,
    ::testing::Values(
        // Free: the grabbed point stays under the pointer (the bevel is one pixel).
        DragCase{{100, 100}, {10, 20}, 62, 83, {89, 79}},
        // Far to the upper left: (12, 16) less the bevel.
        DragCase{{-500, -500}, {10, 10}, 62, 83, {11, 15}},
        DragCase{{22, 26}, {10, 10}, 62, 83, {11, 15}},
        DragCase{{21, 25}, {10, 10}, 62, 83, {11, 15}},
        DragCase{{23, 27}, {10, 10}, 62, 83, {12, 16}},
        // Far to the lower right: 259 and 327 less the panel.
        DragCase{{900, 900}, {10, 10}, 62, 83, {196, 243}},
        DragCase{{207, 254}, {10, 10}, 62, 83, {196, 243}},
        DragCase{{206, 253}, {10, 10}, 62, 83, {195, 242}},
        // A panel too large for both limits: the right and bottom limits win.
        DragCase{{0, 0}, {0, 0}, 250, 320, {8, 6}}));

// --- desktop link files ---------------------------------------------------------------

struct LinkCase {
    const char* text;
    const char* url;
};

class DesktopLink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(DesktopLink, GivesTheFileUrlOfALinkEntryOnly) {
    EXPECT_EQ(desktopLinkFileUrl(GetParam().text), GetParam().url);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, DesktopLink,
    ::testing::Values(
        LinkCase{"[Desktop Entry]\nType=Link\nURL=file:///home/a/p.png\n", "file:///home/a/p.png"},
        LinkCase{"[Desktop Entry]\r\nName=x\r\nURL = file:///a%20b.png \r\nType=Link\r\n",
                 "file:///a%20b.png"},
        LinkCase{"# comment\n[Desktop Entry]\nType=Link\nURL=FILE:/x/y.jpg", "FILE:/x/y.jpg"},
        LinkCase{"[Desktop Entry]\nType=Link\nURL=file:///a\\sb.png\n", "file:///a b.png"},
        // Not a link, not a file, not in the entry's group, or no URL at all.
        LinkCase{"[Desktop Entry]\nType=Application\nURL=file:///p.png\n", ""},
        LinkCase{"[Desktop Entry]\nType=Link\nURL=https://example.jp/p.png\n", ""},
        LinkCase{"[Other]\nType=Link\nURL=file:///p.png\n", ""},
        LinkCase{"[Desktop Entry]\nType=Link\n[Desktop Action x]\nURL=file:///p.png\n", ""},
        LinkCase{"[Desktop Entry]\nType=Link\nURL[ja]=file:///p.png\n", ""},
        LinkCase{"[Desktop Entry]\nType=Link\n", ""}, LinkCase{"", ""},
        LinkCase{"\x89PNG\r\n\x1a\n", ""}));

TEST(DesktopLink, IsKnownByItsExtensionInAnyCase) {
    EXPECT_TRUE(isDesktopLinkName("photo.desktop"));
    EXPECT_TRUE(isDesktopLinkName("photo.DESKTOP"));
    EXPECT_FALSE(isDesktopLinkName(".desktop"));
    EXPECT_FALSE(isDesktopLinkName("photo.desktop.png"));
}

// --- flattening ---------------------------------------------------------------------

TEST(Flatten, LaysTransparentPartsOnWhite) {
    // R G B A: opaque, clear, half; one byte of padding after each row of two.
    const std::uint8_t rgba[] = {10, 20, 30, 255, 10,  20,  30, 0,   0, // row 0 and padding
                                 0,  0,  0,  128, 200, 100, 0,  255, 0};
    const Bitmap b = flattenRgbaOnWhite(rgba, 2, 2, 9);
    ASSERT_EQ(b.width, 2);
    ASSERT_EQ(b.height, 2);
    const std::uint8_t expected[] = {10, 20, 30, 255, 255, 255, 127, 127, 127, 200, 100, 0};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), b.pixels.begin()));
    EXPECT_TRUE(flattenRgbaOnWhite(rgba, 0, 2, 9).empty());
    EXPECT_TRUE(flattenRgbaOnWhite(nullptr, 2, 2, 9).empty());
}

} // namespace
} // namespace zp
