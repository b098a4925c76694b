#pragma once
// Geometry of the picture area, in the coordinates of the left-hand main panel: where the
// scroll box of the preview panes goes for a frame size, which scroll bars it shows, and
// the floating overview of the whole frame (its size steps, its drag limits). Plain
// numbers, so that every case can be checked without a window.
namespace zp {

struct PanelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PanelPoint&) const = default;
};

struct PanelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PanelRect&) const = default;
    // Strictly inside: a point on the edge is outside.
    bool containsStrictly(PanelPoint p) const {
        return left < p.x && p.x < left + width && top < p.y && p.y < top + height;
    }
};

enum class ScrollBars { None, Vertical, Horizontal, Both };

struct PreviewLayout {
    int layoutCase = 1; // 1 to 4
    PanelRect scrollBox;
    ScrollBars bars = ScrollBars::None;
    bool showWhole = false; // the frame is larger than the visible area
};

// The preview area is centred on (132, 168); the overview stays left of x = 259 and above
// y = 327, and is dragged no further up and left than (12, 16).
inline constexpr PanelPoint kPreviewCentre{132, 168};
inline constexpr int kWholeRightLimit = 259;
inline constexpr int kWholeBottomLimit = 327;
inline constexpr int kWholeDragMinX = 12;
inline constexpr int kWholeDragMinY = 16;
// A wheel step moves the panes by the scroll bar's increment.
inline constexpr int kWheelStep = 8;

// The scroll box for a frame of width x height: the first of the four cases that applies.
PreviewLayout layoutPreview(int width, int height);

// The overview panel for the size step (1 small, 2 medium, 3 large): the frame scaled into
// step/4 of the scroll box, plus a one-pixel bevel on every side, at (left, top) pushed
// back inside the right and bottom limits. A frame without pixels gives an empty panel.
PanelRect wholePanelRect(int step, int boxWidth, int boxHeight, int frameWidth, int frameHeight,
                         int left, int top);

// The drawn size of a JPEG of jpegWidth x jpegHeight in an overview bitmap of
// bitmapWidth x bitmapHeight that shows the whole frame: the same factor as the frame.
struct PanelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PanelSize&) const = default;
};
PanelSize wholeJpegSize(int jpegWidth, int jpegHeight, int bitmapWidth, int bitmapHeight,
                        int frameWidth, int frameHeight);

// Where a dragged overview panel of panelWidth x panelHeight goes: the pointer less the
// grab point, raised to the upper-left minimum, then held inside the right and bottom
// limits (applied last), less the bevel, so that the point under the pointer stays put.
PanelPoint dragWholePanel(PanelPoint pointer, PanelPoint grab, int panelWidth, int panelHeight);

// A scroll position after the pointer has moved by delta while panning; never negative
// (the scroll bar itself limits the upper end).
inline int panScrollPosition(int position, int delta) {
    const int next = position - delta;
    return next < 0 ? 0 : next;
}

} // namespace zp
