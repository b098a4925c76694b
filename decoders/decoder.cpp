#include "decoders/decoder.h"

namespace zp {

PictureType pictureTypeFromPath(const std::filesystem::path&) { return PictureType::Unknown; }

bool probePicture(const std::filesystem::path&, PictureInfo& info, std::string& error) {
    info = {};
    error = "not implemented yet";
    return false;
}

DecodeResult decodePicture(const std::filesystem::path&, const DecodeOptions&) {
    DecodeResult r;
    r.error = "not implemented yet";
    return r;
}

DecodeResult decodePictureMemory(const std::uint8_t*, std::size_t, PictureType,
                                 const DecodeOptions&) {
    DecodeResult r;
    r.error = "not implemented yet";
    return r;
}

} // namespace zp
