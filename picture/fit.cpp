#include "picture/fit.h"

#include "picture/resample.h"

#include <algorithm>
#include <cstdint>

namespace zp {

namespace {

// a * b / c in integer arithmetic, multiplying first and dropping the remainder.
int muldiv(int a, int b, int c) {
    return static_cast<int>(static_cast<std::int64_t>(a) * b / c);
}

bool exactlyOneExceeds(int sw, int sh, int fw, int fh) {
    return (sw > fw) != (sh > fh);
}

// Rule 3: decides the turn and the crop; false when the rule does not apply.
bool planCutWithoutScaling(int sw, int sh, int W, int H, const FitOptions& o, FitPlan& plan) {
    if (o.enlarge || !o.cut || !exactlyOneExceeds(sw, sh, W, H)) {
        return false;
    }
    bool turn = false;
    if (o.direction != TurnDirection::None) {
        if (sw > H && sh > W) {
            return false; // both sides exceed the turned frame: rule 4 scales instead
        }
        if (exactlyOneExceeds(sw, sh, H, W)) {
            const std::int64_t straight = std::int64_t{std::min(sw, W)} * std::min(sh, H);
            const std::int64_t turned = std::int64_t{std::min(sw, H)} * std::min(sh, W);
            turn = straight < turned;
        }
    }
    plan.rule = FitRule::CutWithoutScaling;
    plan.scaledWidth = sw;
    plan.scaledHeight = sh;
    plan.turn = turn;
    const int bw = turn ? sh : sw;
    const int bh = turn ? sw : sh;
    plan.crop = true;
    plan.cropWidth = std::min(bw, W);
    plan.cropHeight = std::min(bh, H);
    plan.cropX = (bw - plan.cropWidth) / 2;
    plan.cropY = (bh - plan.cropHeight) / 2;
    return true;
}

// Rule 4, step 2: the scaled size, each branch in its own order.
void scaledSize(int sw, int sh, int W, int H, const FitOptions& o, bool mismatch, int& outW,
                int& outH) {
    int w = 0;
    int h = 0;
    if (o.direction == TurnDirection::None) {
        w = W;
        h = muldiv(sh, W, sw);
        if ((!o.cut && h > H) || (o.cut && h < H)) {
            h = H;
            w = muldiv(sw, H, sh);
        }
    } else if (mismatch) {
        w = H;
        h = muldiv(H, sh, sw);
        if ((!o.cut && h > W) || (o.cut && h < W)) {
            h = W;
            w = muldiv(W, sw, sh);
        }
    } else {
        h = H;
        w = muldiv(H, sw, sh);
        if ((!o.cut && w > W) || (o.cut && w < W)) {
            w = W;
            h = muldiv(W, sh, sw);
        }
    }
    outW = std::max(w, 1);
    outH = std::max(h, 1);
}

} // namespace

FitPlan planFit(int sw, int sh, int W, int H, const FitOptions& o) {
    // Callers pass real sizes; a zero would only divide by zero below.
    sw = std::max(sw, 1);
    sh = std::max(sh, 1);
    W = std::max(W, 1);
    H = std::max(H, 1);
    FitPlan plan;
    plan.scaledWidth = sw;
    plan.scaledHeight = sh;
    const bool turning = o.direction != TurnDirection::None;
    if (!o.enlarge && sw <= W && sh <= H) {
        plan.rule = FitRule::AlreadyFits;
    } else if (!o.enlarge && turning && sw <= H && sh <= W) {
        plan.rule = FitRule::FitsTurned;
        plan.turn = true;
    } else if (!planCutWithoutScaling(sw, sh, W, H, o, plan)) {
        plan.rule = FitRule::Scale;
        const bool mismatch = (W < H && sw > sh) || (W > H && sw < sh);
        scaledSize(sw, sh, W, H, o, mismatch, plan.scaledWidth, plan.scaledHeight);
        plan.turn = turning && mismatch;
        if (o.cut) {
            const int bw = plan.turn ? plan.scaledHeight : plan.scaledWidth;
            const int bh = plan.turn ? plan.scaledWidth : plan.scaledHeight;
            plan.crop = true;
            plan.cropWidth = std::min(bw, W);
            plan.cropHeight = std::min(bh, H);
            plan.cropX = (bw - plan.cropWidth) / 2;
            plan.cropY = (bh - plan.cropHeight) / 2;
        }
    }
    const int bw = plan.turn ? plan.scaledHeight : plan.scaledWidth;
    const int bh = plan.turn ? plan.scaledWidth : plan.scaledHeight;
    plan.width = plan.crop ? plan.cropWidth : bw;
    plan.height = plan.crop ? plan.cropHeight : bh;
    return plan;
}

FitWindow fitWindow(const FitPlan& plan, TurnDirection direction) {
    // The crop is taken back through the turn to the scaled picture, so only the pixels
    // that are kept get resampled: a very long picture cut to the frame never has its full
    // scaled size in memory.
    const int sw = plan.scaledWidth;
    const int sh = plan.scaledHeight;
    FitWindow win{0, 0, sw, sh};
    if (plan.crop) {
        if (!plan.turn) {
            win = {plan.cropX, plan.cropY, plan.cropWidth, plan.cropHeight};
        } else {
            // Turned rows are scaled columns and turned columns scaled rows.
            const bool right = direction == TurnDirection::Right;
            win.width = plan.cropHeight;
            win.height = plan.cropWidth;
            win.x = right ? plan.cropY : sw - plan.cropY - plan.cropHeight;
            win.y = right ? sh - plan.cropX - plan.cropWidth : plan.cropX;
        }
    }
    return win;
}

Bitmap applyFit(const Bitmap& source, const FitPlan& plan, TurnDirection direction) {
    const bool unscaled = source.width == plan.scaledWidth && source.height == plan.scaledHeight;
    if (unscaled && !plan.turn && plan.crop) {
        return cropBitmap(source, plan.cropX, plan.cropY, plan.cropWidth, plan.cropHeight);
    }
    const FitWindow w = fitWindow(plan, direction);
    Bitmap work = unscaled ? cropBitmap(source, w.x, w.y, w.width, w.height)
                           : resampleAreaWindow(source, plan.scaledWidth, plan.scaledHeight, w.x,
                                                w.y, w.width, w.height);
    if (plan.turn) {
        turnBitmap(work, direction);
    }
    return work;
}

} // namespace zp
