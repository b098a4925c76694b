#include "decoders/decoder.h"

#include "decoders/formats.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>
#ifdef _WIN32
#include "fileio/fileio.h"

#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zp {

namespace detail {

namespace {

// HEIF and AVIF files open with an ISO 'ftyp' box: its major brand, or for the general image
// brands the compatible brands after it, tell which of the two it holds.
PictureType sniffIsoBrand(const std::uint8_t* data, std::size_t size) {
    if (size < 12 || std::memcmp(data + 4, "ftyp", 4) != 0)
        return PictureType::Unknown;
    const auto is = [&](std::size_t at, const char* brand) {
        return std::memcmp(data + at, brand, 4) == 0;
    };
    if (is(8, "avif") || is(8, "avis"))
        return PictureType::Avif;
    if (is(8, "heic") || is(8, "heix") || is(8, "heim") || is(8, "heis") || is(8, "hevc") ||
        is(8, "hevx"))
        return PictureType::Heif;
    if (!is(8, "mif1") && !is(8, "msf1"))
        return PictureType::Unknown;
    const std::size_t boxSize =
        std::size_t(data[0]) << 24 | std::size_t(data[1]) << 16 | data[2] << 8 | data[3];
    for (std::size_t at = 16; at + 4 <= std::min(boxSize, size); at += 4) {
        if (is(at, "avif") || is(at, "avis"))
            return PictureType::Avif;
    }
    return PictureType::Heif;
}

} // namespace

PictureType sniffPictureType(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (data == nullptr)
        return PictureType::Unknown;
    if (size >= 3 && data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff)
        return PictureType::Jpeg;
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0)
        return PictureType::Png;
    if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0))
        return PictureType::Gif;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        return PictureType::Bmp;
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0)
        return PictureType::Webp;
    return sniffIsoBrand(data, size);
}

bool checkDimensions(std::int64_t width, std::int64_t height, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "the picture has no size (" + std::to_string(width) + " x " +
                std::to_string(height) + ")";
        return false;
    }
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
        error = "the picture is too large (" + std::to_string(width) + " x " +
                std::to_string(height) + " pixels)";
        return false;
    }
    return true;
}

bool allocateBitmap(Bitmap& bitmap, int width, int height, std::string& error) noexcept {
    const std::uint64_t bytes = std::uint64_t(width) * std::uint64_t(height) * 3;
    if (bytes > kMaxHeldPictureBytes) {
        bitmap = Bitmap{};
        error = "the picture is too large to decode in the memory allowed for it (" +
                std::to_string(width) + " x " + std::to_string(height) + " pixels)";
        return false;
    }
    try {
        bitmap.resize(width, height);
        return true;
    } catch (const std::bad_alloc&) {
        bitmap = Bitmap{};
        error = "not enough memory for a " + std::to_string(width) + " x " +
                std::to_string(height) + " picture";
        return false;
    }
}

} // namespace detail

namespace {

// A file larger than this is no picture we could hold in memory anyway.
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{1} << 30;
// Headers of all four formats sit at the start; EXIF blocks are at most 64 KB each.
constexpr std::size_t kProbePrefixBytes = std::size_t{1} << 20;
// HEIF, WebP and AVIF files are read whole by their libraries, even to probe them (a HEIF
// file's description may follow its data); no photo of the allowed size comes near this.
constexpr std::uintmax_t kMaxWholeFileBytes = std::uintmax_t{256} << 20;

bool readWhole(PictureType type) {
    return type == PictureType::Heif || type == PictureType::Webp || type == PictureType::Avif;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

#ifdef _WIN32
// The file functions take the path in the `\\?\` form, so that a folder or file name ending
// in a dot or a space is found as it is.
FilePtr openRegularFile(const std::filesystem::path& path, std::uintmax_t& fileSize,
                        std::string& error) {
    const std::wstring name = fileio::win32Path(path);
    WIN32_FILE_ATTRIBUTE_DATA attrs{};
    if (name.empty() || !GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &attrs)) {
        const int code = fileio::errnoFromWindows(GetLastError());
        error = "cannot read the file: " + std::string(std::strerror(code));
        return nullptr;
    }
    if (attrs.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
        error = "not a regular file";
        return nullptr;
    }
    fileSize = (static_cast<std::uintmax_t>(attrs.nFileSizeHigh) << 32) | attrs.nFileSizeLow;
    // Through the file library, which shares deletion: a picture being read never stops
    // its replacement.
    const int fd = fileio::openForReading(path);
    FilePtr file(fd >= 0 ? _fdopen(fd, "rb") : nullptr);
    if (!file) {
        error = "cannot read the file: " + std::string(std::strerror(errno));
        if (fd >= 0)
            _close(fd);
    }
    return file;
}
#else
// Opened without blocking, so that a FIFO or a device answers at once; what the descriptor
// turns out to be decides, not what the name said a moment earlier.
FilePtr openRegularFile(const std::filesystem::path& path, std::uintmax_t& fileSize,
                        std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot read the file: ") + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fileSize = static_cast<std::uintmax_t>(st.st_size);
    FilePtr file(::fdopen(fd, "rb"));
    if (!file) {
        error = std::string("cannot read the file: ") + std::strerror(errno);
        ::close(fd);
    }
    return file;
}
#endif

// Opens the file after the checks every reader shares, before any of its contents is read:
// a regular file, not empty, and not over kMaxFileBytes whatever part of it would be read.
FilePtr openChecked(const std::filesystem::path& path, std::uintmax_t& fileSize,
                    std::string& error) {
    fileSize = 0;
    FilePtr file = openRegularFile(path, fileSize, error);
    if (!file)
        return nullptr;
    if (fileSize == 0) {
        error = "the file is empty";
        return nullptr;
    }
    if (fileSize > kMaxFileBytes) {
        error = "the file is too large (" + std::to_string(fileSize) + " bytes)";
        return nullptr;
    }
    return file;
}

// Reads at most limit bytes from the start of the open file.
bool readOpenFile(std::FILE* file, std::uintmax_t fileSize, std::uintmax_t limit,
                  std::vector<std::uint8_t>& out, std::string& error) {
    const auto wanted = static_cast<std::size_t>(std::min(fileSize, limit));
    std::rewind(file);
    try {
        out.resize(wanted);
    } catch (const std::bad_alloc&) {
        error = "not enough memory to read the file";
        return false;
    }
    if (std::fread(out.data(), 1, wanted, file) != wanted) {
        error = "cannot read the whole file";
        return false;
    }
    return true;
}

// The type named by the file's first bytes; the file is left at its start.
PictureType sniffFile(std::FILE* file) {
    std::uint8_t head[64];
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::rewind(file);
    return detail::sniffPictureType(head, got);
}

// What every decoding ends with: memory exhaustion becomes an error, and a failure leaves no
// pixels and always an error text.
template <class Decode> DecodeResult decodeGuarded(Decode&& decode) {
    DecodeResult result;
    try {
        result = decode();
    } catch (const std::bad_alloc&) {
        result = DecodeResult{};
        result.error = "not enough memory to decode the picture";
    }
    if (!result.ok) {
        result.bitmap = Bitmap{};
        if (result.error.empty())
            result.error = "the picture cannot be decoded";
    }
    return result;
}

// All four formats open with a signature, so the data decides: a renamed file still decodes,
// and data without any of the signatures is no picture whatever its name says.
PictureType effectiveType(const std::uint8_t* data, std::size_t size, PictureType /*declared*/) {
    return detail::sniffPictureType(data, size);
}

bool probeMemory(const std::uint8_t* data, std::size_t size, PictureType type, PictureInfo& info,
                 std::string& error) {
    switch (type) {
    case PictureType::Jpeg:
        return detail::probeJpeg(data, size, info, error);
    case PictureType::Png:
        return detail::probePng(data, size, info, error);
    case PictureType::Gif:
        return detail::probeGif(data, size, info, error);
    case PictureType::Bmp:
        return detail::probeBmp(data, size, info, error);
    case PictureType::Heif:
        return detail::probeHeif(data, size, info, error);
    case PictureType::Webp:
        return detail::probeWebp(data, size, info, error);
    case PictureType::Avif:
        return detail::probeAvif(data, size, info, error);
    case PictureType::Unknown:
        break;
    }
    error = "not a BMP, JPEG, GIF or PNG picture, nor HEIF, WebP or AVIF";
    return false;
}

} // namespace

PictureType pictureTypeFromPath(const std::filesystem::path& path) {
    // Compared in the native character type: no conversion that could fail on odd names.
    const auto ext = path.extension().native();
    std::string lower;
    for (const auto c : ext) {
        const auto code = static_cast<std::make_unsigned_t<std::remove_cv_t<decltype(c)>>>(c);
        if (code > 0x7f)
            return PictureType::Unknown;
        lower += static_cast<char>(std::tolower(static_cast<int>(code)));
    }
    if (lower == ".bmp")
        return PictureType::Bmp;
    if (lower == ".jpg" || lower == ".jpeg")
        return PictureType::Jpeg;
    if (lower == ".gif")
        return PictureType::Gif;
    if (lower == ".png")
        return PictureType::Png;
    if (lower == ".heic" || lower == ".heif")
        return PictureType::Heif;
    if (lower == ".webp")
        return PictureType::Webp;
    if (lower == ".avif")
        return PictureType::Avif;
    return PictureType::Unknown;
}

bool probePicture(const std::filesystem::path& path, PictureInfo& info, std::string& error) {
    info = {};
    error.clear();
    std::uintmax_t fileSize = 0;
    FilePtr file = openChecked(path, fileSize, error);
    if (!file)
        return false;
    // JPEG, PNG and GIF headers are read from the file as far as they go, however large the
    // blocks before the picture are (within the file-size cap).
    const PictureType sniffed = sniffFile(file.get());
    if (sniffed == PictureType::Jpeg)
        return detail::probeJpegFile(file.get(), info, error);
    if (sniffed == PictureType::Png || sniffed == PictureType::Gif) {
        detail::InputBytes input(file.get(), fileSize);
        return sniffed == PictureType::Png ? detail::probePngInput(input, info, error)
                                           : detail::probeGifInput(input, info, error);
    }
    std::vector<std::uint8_t> data;
    if (readWhole(sniffed) && fileSize > kMaxWholeFileBytes) {
        error = "the file is too large (" + std::to_string(fileSize) + " bytes)";
        return false;
    }
    const std::uintmax_t limit = readWhole(sniffed) ? kMaxWholeFileBytes : kProbePrefixBytes;
    if (!readOpenFile(file.get(), fileSize, limit, data, error))
        return false;
    const PictureType type = effectiveType(data.data(), data.size(), pictureTypeFromPath(path));
    // A BMP's headers and palette, and the header of a picture inside it, lie at its start.
    return probeMemory(data.data(), data.size(), type, info, error);
}

namespace {

DecodeResult memoryRows(const std::uint8_t* data, std::size_t size, PictureType type,
                        const DecodeOptions& options, RowSink& sink) {
    DecodeResult result;
    detail::InputBytes input(data, size);
    switch (effectiveType(data, size, type)) {
    case PictureType::Jpeg:
        return detail::jpegRows(data, size, nullptr, options, sink);
    case PictureType::Png:
        return detail::pngRows(input, sink);
    case PictureType::Gif:
        return detail::gifRows(input, sink);
    case PictureType::Bmp:
        return detail::bmpRows(data, size, options, sink);
    case PictureType::Heif:
        return detail::heifRows(data, size, sink);
    case PictureType::Webp:
        return detail::webpRows(data, size, options, sink);
    case PictureType::Avif:
        return detail::avifRows(data, size, sink);
    case PictureType::Unknown:
        break;
    }
    result.error = "not a BMP, JPEG, GIF or PNG picture, nor HEIF, WebP or AVIF";
    return result;
}

// The open file (at its start) through a row decoder, read as the decoder goes: a file of
// hundreds of MB never sits in memory whole.
DecodeResult openFileRows(std::FILE* file, std::uintmax_t fileSize, const DecodeOptions& options,
                          RowSink& sink) {
    DecodeResult result;
    detail::InputBytes input(file, fileSize);
    const PictureType type = sniffFile(file);
    if (readWhole(type)) {
        std::vector<std::uint8_t> data;
        if (fileSize > kMaxWholeFileBytes)
            result.error = "the file is too large (" + std::to_string(fileSize) + " bytes)";
        else if (readOpenFile(file, fileSize, fileSize, data, result.error))
            return memoryRows(data.data(), data.size(), type, options, sink);
        return result;
    }
    switch (type) {
    case PictureType::Jpeg:
        return detail::jpegRows(nullptr, 0, file, options, sink);
    case PictureType::Png:
        return detail::pngRows(input, sink);
    case PictureType::Gif:
        return detail::gifRows(input, sink);
    case PictureType::Bmp:
        return detail::bmpRowsFile(file, fileSize, options, sink);
    default:
        break;
    }
    result.error = "not a BMP, JPEG, GIF or PNG picture, nor HEIF, WebP or AVIF";
    return result;
}

DecodeResult
fileRows(const std::filesystem::path& path, const DecodeOptions& options,
         const std::function<DecodeResult(const std::function<DecodeResult(RowSink&)>&)>& run) {
    DecodeResult result;
    std::uintmax_t fileSize = 0;
    FilePtr file = openChecked(path, fileSize, result.error);
    if (!file)
        return result;
    return decodeGuarded([&] {
        return run([&](RowSink& sink) {
            std::rewind(file.get());
            return openFileRows(file.get(), fileSize, options, sink);
        });
    });
}

} // namespace

DecodeResult decodePicture(const std::filesystem::path& path, const DecodeOptions& options) {
    return fileRows(path, options, detail::collectRows);
}

DecodeResult decodePictureRows(const std::filesystem::path& path, const DecodeOptions& options,
                               RowSink& sink) {
    return fileRows(path, options, [&](const std::function<DecodeResult(RowSink&)>& decode) {
        return decode(sink);
    });
}

namespace {

// The size rules of openChecked and openFileRows, for bytes that are already here.
bool checkDataSize(const std::uint8_t* data, std::size_t size, std::string& error) {
    if (data == nullptr || size == 0) {
        error = "no data";
        return false;
    }
    const std::uintmax_t limit =
        readWhole(detail::sniffPictureType(data, size)) ? kMaxWholeFileBytes : kMaxFileBytes;
    if (size > limit) {
        error = "the picture data is too large (" + std::to_string(size) + " bytes)";
        return false;
    }
    return true;
}

} // namespace

DecodeResult decodePictureMemory(const std::uint8_t* data, std::size_t size, PictureType type,
                                 const DecodeOptions& options) {
    DecodeResult result;
    if (!checkDataSize(data, size, result.error))
        return result;
    return decodeGuarded([&] {
        return detail::collectRows(
            [&](RowSink& sink) { return memoryRows(data, size, type, options, sink); });
    });
}

bool probePictureMemory(const std::uint8_t* data, std::size_t size, PictureInfo& info,
                        std::string& error) {
    info = {};
    error.clear();
    if (!checkDataSize(data, size, error))
        return false;
    return probeMemory(data, size, effectiveType(data, size, PictureType::Unknown), info, error);
}

DecodeResult decodePictureMemoryRows(const std::uint8_t* data, std::size_t size,
                                     const DecodeOptions& options, RowSink& sink) {
    DecodeResult result;
    if (!checkDataSize(data, size, result.error))
        return result;
    return decodeGuarded(
        [&] { return memoryRows(data, size, PictureType::Unknown, options, sink); });
}

} // namespace zp
