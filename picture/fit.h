#pragma once
// The fit decision: how a source picture becomes the bitmap that is encoded.
// planFit works on sizes alone; applyFit carries a plan out on pixels.
#include "bitmap/bitmap.h"
#include "picture/bitmapops.h"

namespace zp {

struct FitOptions {
    bool enlarge = true; // enlarge pictures smaller than the frame
    bool cut = false;    // fill the frame and cut off what sticks out
    TurnDirection direction = TurnDirection::None;
};

enum class FitRule {
    AlreadyFits = 1,       // enlarge off, the source lies inside the frame
    FitsTurned = 2,        // enlarge off, the source lies inside the turned frame
    CutWithoutScaling = 3, // enlarge off, cut on, one side sticks out
    Scale = 4,             // everything else
};

// The steps are always taken in this order: scale, turn, crop.
struct FitPlan {
    FitRule rule = FitRule::AlreadyFits;
    int scaledWidth = 0; // the size after scaling (the source size for rules 1 to 3)
    int scaledHeight = 0;
    bool turn = false; // turn in FitOptions::direction after scaling
    bool crop = false;
    int cropX = 0; // offset and size of the crop in the scaled, turned bitmap
    int cropY = 0;
    int cropWidth = 0;
    int cropHeight = 0;
    int width = 0; // size of the fitted bitmap
    int height = 0;

    // True when the fitted bitmap copies source pixels one for one (rules 1 to 3, or a
    // scale to the source's own size), so the source must be at full resolution.
    bool needsFullResolution(int sourceWidth, int sourceHeight) const {
        return rule != FitRule::Scale ||
               (scaledWidth == sourceWidth && scaledHeight == sourceHeight);
    }
};

// Plans the fit of a sw x sh source into a W x H frame (sizes below 1 count as 1).
// Sides computed by rule 4 that would round down to 0 are kept at 1 pixel.
FitPlan planFit(int sw, int sh, int W, int H, const FitOptions& options);

// The part of the scaled picture (before the turn) that the fitted bitmap is made of: the crop
// taken back through the turn, or the whole scaled picture when nothing is cut.
struct FitWindow {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
FitWindow fitWindow(const FitPlan& plan, TurnDirection direction);

// Carries the plan out. The source may be a reduced copy of the planned picture (a JPEG
// decoded with DCT scaling): for rule 4 the whole of it is resampled onto the scaled size.
// Rules 1 to 3 need the source at its planned size.
Bitmap applyFit(const Bitmap& source, const FitPlan& plan, TurnDirection direction);

} // namespace zp
