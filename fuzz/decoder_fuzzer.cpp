// libFuzzer entry for one picture decoder; ZP_FUZZ_FORMAT picks which (see CMakeLists.txt).
#include "decoders/decoder.h"
#include "decoders/formats.h"

#include <cstddef>
#include <cstdint>

namespace {

// The decoders accept up to 200 megapixels by design; the fuzzer's memory limit does not, so
// pictures whose header promises more than this are only probed.
constexpr std::int64_t kFuzzMaxPixels = 4'000'000;

bool probeFormat(const std::uint8_t* data, std::size_t size, zp::PictureInfo& info) {
    std::string error;
    switch (ZP_FUZZ_FORMAT) {
    case zp::PictureType::Bmp:
        return zp::detail::probeBmp(data, size, info, error);
    case zp::PictureType::Jpeg:
        return zp::detail::probeJpeg(data, size, info, error);
    case zp::PictureType::Gif:
        return zp::detail::probeGif(data, size, info, error);
    default:
        return zp::detail::probePng(data, size, info, error);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zp::PictureInfo info;
    if (probeFormat(data, size, info) &&
        static_cast<std::int64_t>(info.width) * info.height > kFuzzMaxPixels)
        return 0;
    // The last byte chooses a JPEG scale target, so scaled decoding is fuzzed too.
    const int target = size > 0 ? data[size - 1] % 64 : 0;
    zp::DecodeResult r;
    switch (ZP_FUZZ_FORMAT) {
    case zp::PictureType::Bmp:
        r = zp::detail::decodeBmp(data, size);
        break;
    case zp::PictureType::Jpeg:
        r = zp::detail::decodeJpeg(data, size, zp::DecodeOptions{target, target});
        break;
    case zp::PictureType::Gif:
        r = zp::detail::decodeGif(data, size);
        break;
    default:
        r = zp::detail::decodePng(data, size);
        break;
    }
    if (r.ok &&
        r.bitmap.pixels.size() != r.bitmap.stride() * static_cast<std::size_t>(r.bitmap.height))
        __builtin_trap();
    if (!r.ok && r.error.empty())
        __builtin_trap();
    return 0;
}
