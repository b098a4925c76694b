// Runs a fuzz target's entry point once on every seed file, without libFuzzer, so that the
// seeds are replayed by every test run (under the sanitizers where the build has them).
//   fuzz_<target>_replay <file or folder>...
// Exit 0 when every seed ran; a seed that trips a check aborts the process, which names it
// on standard error first. A folder without any seed is an error: a replay of nothing would
// pass for ever.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool replay(const fs::path& seed) {
    std::ifstream in(seed, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", seed.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    std::fprintf(stderr, "seed %s (%zu bytes)\n", seed.c_str(), bytes.size());
    // A copy of its own, so that the sanitizer sees a read past the seed's last byte.
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> seeds;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            for (const auto& e : fs::directory_iterator(argv[i], ec))
                if (e.is_regular_file(ec))
                    seeds.push_back(e.path());
        } else {
            seeds.emplace_back(argv[i]);
        }
    }
    std::sort(seeds.begin(), seeds.end());
    if (seeds.empty()) {
        std::fprintf(stderr, "no seed files given\n");
        return 1;
    }
    for (const fs::path& seed : seeds)
        if (!replay(seed))
            return 1;
    std::printf("%zu seeds replayed\n", seeds.size());
    return 0;
}
