#include "decoders/yccrows.h"

#include "decoders/formats.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace zp::detail {

namespace {

std::int32_t fixed(double value) {
    return std::int32_t(std::lround(value * 65536.0));
}

std::uint8_t clampRgb(std::int32_t value) {
    return std::uint8_t(std::clamp(value >> 16, 0, 255));
}

} // namespace

bool yccTables(int matrixCoefficients, bool fullRange, YccTables& tables) noexcept {
    double kr = 0.299, kb = 0.114; // BT.601, also for "unspecified" and BT.470 B/G
    switch (matrixCoefficients) {
    case 1:
        kr = 0.2126;
        kb = 0.0722;
        break; // BT.709
    case 2:
    case 5:
    case 6:
        break;
    case 4:
        kr = 0.30;
        kb = 0.11;
        break; // FCC
    case 7:
        kr = 0.212;
        kb = 0.087;
        break; // SMPTE 240M
    case 9:
        kr = 0.2627;
        kb = 0.0593;
        break; // BT.2020 non-constant luminance
    default:
        return false;
    }
    const double kg = 1.0 - kr - kb;
    // Limited range: luma 16..235 and chroma 16..240 stand for the full range. libheif scales
    // them by 256/219 and 256/224 (not 255/...), and its own RGB is what pictures have been
    // compared with: the same here.
    const double yScale = fullRange ? 1.0 : 256.0 / 219.0;
    const double cScale = fullRange ? 1.0 : 256.0 / 224.0;
    const double yOffset = fullRange ? 0.0 : 16.0;
    for (int v = 0; v < 256; ++v) {
        const double c = (v - 128) * cScale;
        tables.y[v] = fixed((v - yOffset) * yScale + 0.5);
        tables.rCr[v] = fixed(2.0 * (1.0 - kr) * c);
        tables.gCb[v] = fixed(-2.0 * kb * (1.0 - kb) / kg * c);
        tables.gCr[v] = fixed(-2.0 * kr * (1.0 - kr) / kg * c);
        tables.bCb[v] = fixed(2.0 * (1.0 - kb) * c);
    }
    return true;
}

void yccRow(const YccPlanes& planes, int y, int x0, int count, const YccTables& tables,
            std::uint8_t* out) noexcept {
    const std::uint8_t* luma = planes.y + std::size_t(y) * planes.yStride;
    if (planes.cb == nullptr) {
        for (int x = x0; x < x0 + count; ++x, out += 3)
            out[0] = out[1] = out[2] = clampRgb(tables.y[luma[x]]);
        return;
    }
    const int sx = planes.chromaShiftX;
    const std::size_t chromaRow = std::size_t(y >> planes.chromaShiftY) * planes.chromaStride;
    const std::uint8_t* cb = planes.cb + chromaRow;
    const std::uint8_t* cr = planes.cr + chromaRow;
    for (int x = x0; x < x0 + count; ++x, out += 3) {
        const std::int32_t l = tables.y[luma[x]];
        const int b = cb[x >> sx], r = cr[x >> sx];
        out[0] = clampRgb(l + tables.rCr[r]);
        out[1] = clampRgb(l + tables.gCb[b] + tables.gCr[r]);
        out[2] = clampRgb(l + tables.bCb[b]);
    }
}

DecodeResult emitYcc(const YccPlanes& planes, const YccTables& tables, RowSink& sink) {
    return emitMadeRows(planes.width, planes.height, 1, planes.width, planes.height, sink,
                        [&](int y, std::uint8_t* out, std::string&) {
                            yccRow(planes, y, 0, planes.width, tables, out);
                            return true;
                        });
}

DecodeResult emitRgbPlanes(const RgbPlanes& planes, RowSink& sink) {
    return emitMadeRows(
        planes.width, planes.height, 1, planes.width, planes.height, sink,
        [&](int y, std::uint8_t* out, std::string&) {
            const std::uint8_t* r = planes.plane[0] + std::size_t(y) * planes.stride[0];
            const std::uint8_t* g = planes.plane[1] + std::size_t(y) * planes.stride[1];
            const std::uint8_t* b = planes.plane[2] + std::size_t(y) * planes.stride[2];
            for (int x = 0; x < planes.width; ++x) {
                out[x * 3] = r[x];
                out[x * 3 + 1] = g[x];
                out[x * 3 + 2] = b[x];
            }
            return true;
        });
}

std::uint64_t yccPlaneBytes(int width, int height, int chromaFormat) noexcept {
    const std::uint64_t w = std::uint64_t(std::max(width, 0));
    const std::uint64_t h = std::uint64_t(std::max(height, 0));
    switch (chromaFormat) {
    case 0:
        return w * h;
    case 1:
        return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    case 2:
        return w * h + 2 * ((w + 1) / 2) * h;
    default:
        return 3 * w * h;
    }
}

} // namespace zp::detail
