// libFuzzer entry for one picture decoder; ZP_FUZZ_FORMAT picks which (see CMakeLists.txt).
// Each input is decoded twice: whole, from memory (pictures up to kFuzzMaxPixels), and row by
// row from a FILE over the same bytes into the pipeline's band fitting (any size up to the
// decoders' own caps), which is how large pictures are read.
#include "decoders/decoder.h"
#include "decoders/formats.h"
#include "picture/bandfit.h"
#include "picture/fit.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace {

// The decoders accept up to 200 megapixels by design; whole bitmaps of that size would pass the
// fuzzer's memory limit, so pictures whose header promises more than this are only banded.
constexpr std::int64_t kFuzzMaxPixels = 4'000'000;
// Banding is bounded in memory at any size, but a sanitized decoding of 200 megapixels takes
// seconds; the crafted-file tests cover those sizes.
constexpr std::int64_t kFuzzMaxBandPixels = 16'000'000;

bool probeFormat(const std::uint8_t* data, std::size_t size, zp::PictureInfo& info) {
    std::string error;
    switch (ZP_FUZZ_FORMAT) {
    case zp::PictureType::Bmp:
        return zp::detail::probeBmp(data, size, info, error);
    case zp::PictureType::Jpeg:
        return zp::detail::probeJpeg(data, size, info, error);
    case zp::PictureType::Gif:
        return zp::detail::probeGif(data, size, info, error);
    case zp::PictureType::Heif:
        return zp::detail::probeHeif(data, size, info, error);
    case zp::PictureType::Webp:
        return zp::detail::probeWebp(data, size, info, error);
    case zp::PictureType::Avif:
        return zp::detail::probeAvif(data, size, info, error);
    default:
        return zp::detail::probePng(data, size, info, error);
    }
}

zp::DecodeResult decodeWhole(const std::uint8_t* data, std::size_t size, int target) {
    switch (ZP_FUZZ_FORMAT) {
    case zp::PictureType::Bmp:
        return zp::detail::decodeBmp(data, size, zp::DecodeOptions{target, target});
    case zp::PictureType::Jpeg:
        return zp::detail::decodeJpeg(data, size, zp::DecodeOptions{target, target});
    case zp::PictureType::Gif:
        return zp::detail::decodeGif(data, size);
    case zp::PictureType::Heif:
    case zp::PictureType::Webp:
    case zp::PictureType::Avif:
        return zp::detail::collectRows([&](zp::RowSink& sink) {
            return ZP_FUZZ_FORMAT == zp::PictureType::Heif ? zp::detail::heifRows(data, size, sink)
                   : ZP_FUZZ_FORMAT == zp::PictureType::Avif
                       ? zp::detail::avifRows(data, size, sink)
                       : zp::detail::webpRows(data, size, zp::DecodeOptions{target, target}, sink);
        });
    default:
        return zp::detail::decodePng(data, size);
    }
}

// The rows from a FILE over the data, fitted into a small frame as they come.
void decodeBands(const std::uint8_t* data, std::size_t size, const zp::PictureInfo& info,
                 int target) {
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr)
        return;
    const zp::FitOptions options{target % 2 == 0, target % 3 == 0,
                                 static_cast<zp::TurnDirection>(target % 3)};
    const zp::FitPlan plan = zp::planFit(info.width, info.height, 132, 176, options);
    zp::FitSink sink(plan, options.direction, target % 5 == 0 ? 1u << 20 : 0);
    const zp::DecodeOptions scale{target, target};
    zp::DecodeResult r;
    zp::detail::InputBytes input(file, size);
    switch (ZP_FUZZ_FORMAT) {
    case zp::PictureType::Heif:
        r = zp::detail::heifRows(data, size, sink);
        break;
    case zp::PictureType::Webp:
        r = zp::detail::webpRows(data, size, scale, sink);
        break;
    case zp::PictureType::Avif:
        r = zp::detail::avifRows(data, size, sink);
        break;
    case zp::PictureType::Bmp:
        r = zp::detail::bmpRowsFile(file, size, scale, sink);
        break;
    case zp::PictureType::Jpeg:
        r = zp::detail::jpegRows(nullptr, 0, file, scale, sink);
        break;
    case zp::PictureType::Gif:
        r = zp::detail::gifRows(input, sink);
        break;
    default:
        r = zp::detail::pngRows(input, sink);
        break;
    }
    std::fclose(file);
    if (!r.ok) {
        if (r.error.empty())
            __builtin_trap();
        return;
    }
    // What the rows made must be what the plan asked for.
    const zp::Bitmap fitted = sink.keptWhole()
                                  ? zp::applyFit(sink.takeWhole(), plan, options.direction)
                                  : sink.takeFitted();
    if (fitted.width != plan.width || fitted.height != plan.height ||
        fitted.pixels.size() != fitted.stride() * static_cast<std::size_t>(fitted.height))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zp::PictureInfo info;
    const bool probed = probeFormat(data, size, info);
    // The last byte chooses a JPEG (or WebP) scale target and the fit, so scaled decoding is fuzzed
    // too.
    const int target = size > 0 ? data[size - 1] % 64 : 0;
    const std::int64_t pixels = static_cast<std::int64_t>(info.width) * info.height;
    if (probed && pixels > 0 && pixels <= kFuzzMaxBandPixels)
        decodeBands(data, size, info, target);
    if (probed && pixels > kFuzzMaxPixels)
        return 0;
    const zp::DecodeResult r = decodeWhole(data, size, target);
    if (r.ok &&
        r.bitmap.pixels.size() != r.bitmap.stride() * static_cast<std::size_t>(r.bitmap.height))
        __builtin_trap();
    if (!r.ok && r.error.empty())
        __builtin_trap();
    return 0;
}
