#include "picture/previewlayout.h"

namespace zp {

PreviewLayout layoutPreview(int width, int height) {
    const int cx = kPreviewCentre.x;
    const int cy = kPreviewCentre.y;
    PreviewLayout l;
    if (width <= 256 && height <= 320) {
        // Fits: centred, with the frame's two pixels on each side and no scroll bar.
        l.layoutCase = 1;
        l.scrollBox = {cx - width / 2, cy - height / 2, width + 4, height + 4};
        l.bars = ScrollBars::None;
    } else if (width <= 240 && height > 320) {
        // Too tall only: a vertical scroll bar beside the frame.
        l.layoutCase = 2;
        l.scrollBox = {cx - 8 - width / 2, 8, width + 20, 324};
        l.bars = ScrollBars::Vertical;
    } else if (width > 256 && height <= 304) {
        // Too wide only: a horizontal scroll bar below it.
        l.layoutCase = 3;
        l.scrollBox = {4, cy - 8 - height / 2, 260, height + 20};
        l.bars = ScrollBars::Horizontal;
    } else {
        l.layoutCase = 4;
        l.scrollBox = {4, 8, 260, 324};
        l.bars = ScrollBars::Both;
    }
    l.showWhole = l.layoutCase != 1;
    return l;
}

PanelRect wholePanelRect(int step, int boxWidth, int boxHeight, int frameWidth, int frameHeight,
                         int left, int top) {
    int w = 0;
    int h = 0;
    if (frameWidth > 0 && frameHeight > 0) {
        w = boxWidth * step / 4;
        h = frameHeight * w / frameWidth;
        if (h > boxHeight * step / 4) {
            h = boxHeight * step / 4;
            w = frameWidth * h / frameHeight;
        }
    }
    PanelRect r{left, top, w + 2, h + 2};
    if (r.left + r.width > kWholeRightLimit)
        r.left = kWholeRightLimit - r.width;
    if (r.top + r.height > kWholeBottomLimit)
        r.top = kWholeBottomLimit - r.height;
    return r;
}

PanelSize wholeJpegSize(int jpegWidth, int jpegHeight, int bitmapWidth, int bitmapHeight,
                        int frameWidth, int frameHeight) {
    if (frameWidth <= 0 || frameHeight <= 0)
        return {};
    // 64-bit products: a large JPEG times a large overview stays exact.
    const long long w = static_cast<long long>(jpegWidth) * bitmapWidth / frameWidth;
    const long long h = static_cast<long long>(jpegHeight) * bitmapHeight / frameHeight;
    return {static_cast<int>(w), static_cast<int>(h)};
}

PanelPoint dragWholePanel(PanelPoint pointer, PanelPoint grab, int panelWidth, int panelHeight) {
    int x = pointer.x - grab.x;
    int y = pointer.y - grab.y;
    if (x < kWholeDragMinX)
        x = kWholeDragMinX;
    if (y < kWholeDragMinY)
        y = kWholeDragMinY;
    if (x + panelWidth > kWholeRightLimit)
        x = kWholeRightLimit - panelWidth;
    if (y + panelHeight > kWholeBottomLimit)
        y = kWholeBottomLimit - panelHeight;
    // The image sits one pixel inside the panel's bevel.
    return {x - 1, y - 1};
}

} // namespace zp
