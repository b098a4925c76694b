// Stages of the picture pipeline on a synthetic 24-megapixel photo:
// decode (DCT-scaled and full), fit (area average), one encoding, the whole quality loop.
#include "decoders/decoder.h"
#include "picture/fit.h"
#include "picture/jpegencoder.h"
#include "picture/preparedpicture.h"
#include "picture/qualityloop.h"
#include "picture/resample.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace zp;

// Gradients with texture at a few scales, like a photograph.
Bitmap photo(int w, int h) {
    Bitmap b;
    b.resize(w, h);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> grain(-20, 20);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* p = b.row(y);
        for (int x = 0; x < w; ++x) {
            const double fx = double(x) / w;
            const double fy = double(y) / h;
            const double blot =
                40 * std::sin(23 * fx + 3 * std::cos(17 * fy)) + 25 * std::sin(90 * fy + 60 * fx);
            const int v[3] = {int(80 + 120 * fx + blot), int(70 + 130 * fy - blot / 2),
                              int(120 + blot)};
            for (int c = 0; c < 3; ++c) {
                p[3 * x + c] = std::uint8_t(std::clamp(v[c] + grain(rng), 0, 255));
            }
        }
    }
    return b;
}

const std::vector<std::uint8_t>& photoJpeg() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> out;
        std::string error;
        encodeJpeg(photo(6000, 4000), 90, out, error);
        return out;
    }();
    return bytes;
}

// Arg: the minimum width asked of the decoder (0 = full size).
void BM_Decode(benchmark::State& state) {
    const auto& jpeg = photoJpeg();
    const int min = int(state.range(0));
    for (auto _ : state) {
        DecodeResult r =
            decodePictureMemory(jpeg.data(), jpeg.size(), PictureType::Jpeg, {min, min * 2 / 3});
        benchmark::DoNotOptimize(r.bitmap.pixels.data());
    }
}
BENCHMARK(BM_Decode)->Arg(480)->Arg(960)->Arg(0)->Unit(benchmark::kMillisecond);

// Area average from a decoded size onto a frame: args source width, destination width.
void BM_Fit(benchmark::State& state) {
    const int sw = int(state.range(0));
    const Bitmap src = photo(sw, sw * 2 / 3);
    const FitPlan plan = planFit(src.width, src.height, int(state.range(1)),
                                 int(state.range(1)) * 4 / 3, {true, false, TurnDirection::None});
    for (auto _ : state) {
        Bitmap out = applyFit(src, plan, TurnDirection::None);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(BM_Fit)
    ->Args({750, 240})
    ->Args({1500, 480})
    ->Args({6000, 480})
    ->Unit(benchmark::kMillisecond);

void BM_EncodeOnce(benchmark::State& state) {
    const int w = int(state.range(0));
    const Bitmap b = photo(w, w * 2 / 3);
    std::vector<std::uint8_t> out;
    std::string error;
    for (auto _ : state) {
        encodeJpeg(b, 90, out, error);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = double(out.size());
}
BENCHMARK(BM_EncodeOnce)->Arg(240)->Arg(480)->Unit(benchmark::kMicrosecond);

// The whole quality loop from 90 down to the limit (kB): arg 1 with the next quality encoded
// ahead on a second thread (the default), 0 one quality after the other. Wall-clock time.
void BM_QualityLoop(benchmark::State& state) {
    const Bitmap b = photo(480, 320);
    const JpegEncoderFn oneAtATime = [](const Bitmap& bitmap, int q, std::vector<std::uint8_t>& out,
                                        std::string& error) {
        return encodeJpeg(bitmap, q, out, error);
    };
    int encodings = 0;
    for (auto _ : state) {
        QualityLoopResult r = runQualityLoop(b, {90, true, int(state.range(0))}, {},
                                             state.range(1) ? JpegEncoderFn{} : oneAtATime);
        encodings = r.encodings;
        benchmark::DoNotOptimize(r.jpeg.data());
    }
    state.counters["encodings"] = encodings;
}
BENCHMARK(BM_QualityLoop)
    ->ArgsProduct({{100, 20}, {0, 1}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Decode, fit and loop together, from the JPEG bytes in memory.
void BM_WholePipeline(benchmark::State& state) {
    const auto& jpeg = photoJpeg();
    const int W = int(state.range(0));
    const int H = int(state.range(1));
    for (auto _ : state) {
        const FitPlan plan = planFit(6000, 4000, W, H, {true, false, TurnDirection::None});
        DecodeResult d = decodePictureMemory(
            jpeg.data(), jpeg.size(), PictureType::Jpeg,
            {plan.scaledWidth * kDecodeHeadroom, plan.scaledHeight * kDecodeHeadroom});
        MakeJpegResult r =
            makeJpegFromFitted(applyFit(d.bitmap, plan, TurnDirection::None), {90, true, 20});
        benchmark::DoNotOptimize(r.jpeg.data());
    }
}
BENCHMARK(BM_WholePipeline)
    ->Args({240, 320})
    ->Args({480, 854})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
