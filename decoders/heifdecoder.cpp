// HEIF (HEIC) through libheif: the primary picture, with the rotation and mirroring its file
// names applied by the library. An EXIF orientation inside the file is not applied on top: the
// file's own transformations already say how it stands.
#include "decoders/codeclibs.h"
#include "decoders/formats.h"
#include "decoders/heifgrid.h"
#include "decoders/orientation.h"
#include "decoders/yccrows.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace zp::detail {

namespace {

// libheif's own default: no side of any picture it makes, derived ones (grids) too, whose
// size comes from their own data, may exceed it. The held-picture bound is checked on the
// primary picture's size below; a panorama may still be long on one side.
constexpr int kHeifSideLimit = 32768;

using HeifContextPtr = std::unique_ptr<heif_context, decltype(&::heif_context_free)>;
using HeifHandlePtr =
    std::unique_ptr<const heif_image_handle, decltype(&::heif_image_handle_release)>;

std::string heifMessage(const heif_error& error) {
    return std::string("HEIF error: ") + (error.message != nullptr ? error.message : "unknown");
}

// Planes in which an 8-bit picture without alpha is taken from the library: chroma_format_idc 0..3
// (luma alone .. 4:4:4 Y'CbCr), this for planar RGB (grids, and pictures both cut and turned),
// or -1 for interleaved RGB(A).
constexpr int kLibraryGridRgb = 4;

// The largest file whose grid is decoded a row of tiles at a time, which takes a copy of the file
// (a phone's 48-megapixel photo is 10 to 20 MB); a larger one is left to the library.
constexpr std::size_t kMaxTiledFileBytes = std::size_t{64} << 20;

// The top-level 'meta' box, where the items and their properties are described; empty when there
// is none.
std::pair<const std::uint8_t*, std::size_t> metaBox(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (size - at >= 8) {
        std::uint64_t boxSize = std::uint64_t(data[at]) << 24 | std::uint64_t(data[at + 1]) << 16 |
                                std::uint64_t(data[at + 2]) << 8 | data[at + 3];
        if (boxSize == 0 || boxSize > size - at)
            boxSize = size - at;
        if (boxSize < 8)
            break;
        if (std::memcmp(data + at + 4, "meta", 4) == 0)
            return {data + at, std::size_t(boxSize)};
        at += std::size_t(boxSize);
    }
    return {nullptr, 0};
}

// An overlay item ('iovl') names its canvas size in its own data, which libheif allocates
// before anything else checks it: a 2 KB file made it take 350 MB. Phones and cameras write
// single pictures and grids, never overlays, so a file with one is refused.
bool hasOverlayItem(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t kOverlay[4] = {'i', 'o', 'v', 'l'};
    const auto [meta, metaSize] = metaBox(data, size);
    return meta != nullptr &&
           std::search(meta, meta + metaSize, kOverlay, kOverlay + 4) != meta + metaSize;
}

// How the file's HEVC pictures store their samples, read from every decoder configuration
// ('hvcC') in the file before anything is decoded: the chroma_format_idc that takes the most
// bytes (0 luma alone .. 3 for 4:4:4) when all are 8-bit, or -1 (some deeper, or none found: an
// AV1 or damaged file), for which the RGB path is taken.
int eightBitChromaFormat(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t kConfig[4] = {'h', 'v', 'c', 'C'};
    const auto [meta, metaSize] = metaBox(data, size);
    if (meta == nullptr)
        return -1;
    int format = -1;
    const std::uint8_t* end = meta + metaSize;
    for (const std::uint8_t* at = std::search(meta, end, kConfig, kConfig + 4); at != end;
         at = std::search(at + 4, end, kConfig, kConfig + 4)) {
        // After the type: version, profile (1 + 4 + 6 + 1 bytes), segmentation (2), parallelism
        // (1), then chroma_format_idc, luma and chroma bit depths less 8, one byte each.
        if (at - meta < 4 || end - at < 4 + 19)
            return -1;
        const std::uint8_t* config = at + 4;
        if ((config[17] & 7) != 0 || (config[18] & 7) != 0)
            return -1;
        format = std::max(format, config[16] & 3);
    }
    return format;
}

// Whether the file has a grid item (tiles laid out in rows and columns), as phones store their
// photos. libheif lays a grid out in an RGB frame of 3 bytes a pixel whatever its tiles hold, so
// such a picture is taken from the library as that frame, rather than converted back to planes
// of its tiles' kind (which would hold both at once). Item types are in the 'infe' entries.
bool hasGridItem(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t kEntry[4] = {'i', 'n', 'f', 'e'};
    const auto [meta, metaSize] = metaBox(data, size);
    if (meta == nullptr)
        return false;
    const std::uint8_t* end = meta + metaSize;
    for (const std::uint8_t* at = std::search(meta, end, kEntry, kEntry + 4); at != end;
         at = std::search(at + 4, end, kEntry, kEntry + 4)) {
        // Version and flags, the item's number (2 bytes from version 2, 4 from 3), its
        // protection index (2), then its type.
        if (end - at < 8 || at[4] < 2)
            continue;
        const std::ptrdiff_t typeAt = 8 + (at[4] == 2 ? 2 : 4) + 2;
        if (end - at >= typeAt + 4 && std::memcmp(at + typeAt, "grid", 4) == 0)
            return true;
    }
    return false;
}

// Whether the file has a crop ('clap') and a turn or mirroring: the library turns a picture cut
// to an odd size in its subsampled planes a pixel out of line with its chroma, and does it
// right only in RGB.
bool cropsAndTurns(const std::uint8_t* data, std::size_t size) {
    const auto [meta, metaSize] = metaBox(data, size);
    const auto has = [meta = meta, end = meta + metaSize](const char* type) {
        const auto* t = reinterpret_cast<const std::uint8_t*>(type);
        return meta != nullptr && std::search(meta, end, t, t + 4) != end;
    };
    return has("clap") && (has("irot") || has("imir"));
}

// The primary picture of the file, with its upright size checked against the limits; the context
// it belongs to is kept in `context`. `chromaFormat` is the layout of the 8-bit planes it is to be
// decoded into (see eightBitChromaFormat), or -1 for interleaved RGB(A) from the library; the
// frame the library holds is what is held to the bound.
HeifHandlePtr openPrimary(const HeifLibrary& heif, const std::uint8_t* data, std::size_t size,
                          HeifContextPtr& context, int& chromaFormat, HeifGridPlan& grid,
                          std::string& error) {
    HeifHandlePtr none(nullptr, heif.heif_image_handle_release);
    context = HeifContextPtr(heif.heif_context_alloc(), heif.heif_context_free);
    if (!context) {
        error = "not enough memory to decode the picture";
        return none;
    }
    if (hasOverlayItem(data, size)) {
        error = "HEIF error: overlay pictures are not supported";
        return none;
    }
    heif.heif_context_set_maximum_image_size_limit(context.get(), kHeifSideLimit);
    heif_error status =
        heif.heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr);
    if (status.code != heif_error_Ok) {
        error = heifMessage(status);
        return none;
    }
    heif_image_handle* handle = nullptr;
    status = heif.heif_context_get_primary_image_handle(context.get(), &handle);
    HeifHandlePtr owned(handle, heif.heif_image_handle_release);
    if (status.code != heif_error_Ok || !owned) {
        error = heifMessage(status);
        return none;
    }
    // The handle's size is the size after the file's rotation.
    const int width = heif.heif_image_handle_get_width(handle);
    const int height = heif.heif_image_handle_get_height(handle);
    const bool alpha = heif.heif_image_handle_has_alpha_channel(handle) != 0;
    chromaFormat = alpha ? -1 : eightBitChromaFormat(data, size);
    grid = HeifGridPlan{};
    // A grid of colour tiles is decoded here a row of tiles at a time, and held to the bound as
    // if its planes were whole; any other grid the library lays out.
    if (chromaFormat > 0 && hasGridItem(data, size) &&
        (size > kMaxTiledFileBytes || !readHeifGrid(data, size, grid)))
        chromaFormat = kLibraryGridRgb;
    else if (chromaFormat == 0 && hasGridItem(data, size))
        chromaFormat = kLibraryGridRgb;
    if (chromaFormat >= 0 && grid.tiles.empty() && cropsAndTurns(data, size))
        chromaFormat = kLibraryGridRgb;
    if (chromaFormat == kLibraryGridRgb) {
        if (!checkHeldFrame(width, height, 3, error))
            return none;
    } else if (chromaFormat >= 0) {
        const std::uint64_t bytes = std::max(yccPlaneBytes(width, height, chromaFormat),
                                             yccPlaneBytes(height, width, chromaFormat));
        if (!checkHeldBytes(width, height, bytes, error))
            return none;
    } else if (!checkHeldFrame(width, height, alpha ? 4 : 3, error)) {
        return none;
    }
    return owned;
}

} // namespace

bool probeHeif(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    const HeifLibrary* heif = heifLibrary(error);
    if (heif == nullptr)
        return false;
    HeifContextPtr context(nullptr, heif->heif_context_free);
    int chromaFormat = -1;
    HeifGridPlan grid;
    const HeifHandlePtr handle = openPrimary(*heif, data, size, context, chromaFormat, grid, error);
    if (!handle)
        return false;
    info.type = PictureType::Heif;
    info.width = heif->heif_image_handle_get_width(handle.get());
    info.height = heif->heif_image_handle_get_height(handle.get());
    return true;
}

namespace {

using HeifImagePtr = std::unique_ptr<const heif_image, decltype(&::heif_image_release)>;
using HeifOptionsPtr =
    std::unique_ptr<heif_decoding_options, decltype(&::heif_decoding_options_free)>;

// The decoded planes of `image` when they are 8-bit in the layout asked for and the file's matrix
// is one yccTables knows; false otherwise.
bool planesOf(const HeifLibrary& heif, const heif_image* image, int chromaFormat, YccPlanes& planes,
              YccTables& tables) {
    static const heif_chroma kChroma[4] = {heif_chroma_monochrome, heif_chroma_420, heif_chroma_422,
                                           heif_chroma_444};
    if (heif.heif_image_get_chroma_format(image) != kChroma[chromaFormat])
        return false;
    const int channels = chromaFormat == 0 ? 1 : 3;
    static const heif_channel kChannels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    const std::uint8_t* plane[3] = {};
    int stride[3] = {};
    for (int c = 0; c < channels; ++c) {
        plane[c] = heif.heif_image_get_plane_readonly(image, kChannels[c], &stride[c]);
        if (plane[c] == nullptr || stride[c] <= 0 ||
            heif.heif_image_get_bits_per_pixel_range(image, kChannels[c]) != 8)
            return false;
    }
    planes.width = heif.heif_image_get_width(image, heif_channel_Y);
    planes.height = heif.heif_image_get_height(image, heif_channel_Y);
    if (planes.width <= 0 || planes.height <= 0)
        return false;
    planes.y = plane[0];
    planes.yStride = std::size_t(stride[0]);
    if (channels == 3) {
        if (stride[1] != stride[2])
            return false;
        planes.cb = plane[1];
        planes.cr = plane[2];
        planes.chromaStride = std::size_t(stride[1]);
        planes.chromaShiftX = chromaFormat == 3 ? 0 : 1;
        planes.chromaShiftY = chromaFormat == 1 ? 1 : 0;
    }
    // The colour profile the library attached to the decoded picture is the one its own
    // conversion follows; without one it takes BT.601 at full range.
    int matrix = 6;
    bool fullRange = true;
    heif_color_profile_nclx* nclx = nullptr;
    if (heif.heif_image_get_nclx_color_profile(image, &nclx).code == heif_error_Ok && nclx) {
        matrix = int(nclx->matrix_coefficients);
        fullRange = nclx->full_range_flag != 0;
        heif.heif_nclx_color_profile_free(nclx);
    }
    return yccTables(matrix, fullRange, tables);
}

HeifImagePtr decodeAs(const HeifLibrary& heif, const heif_image_handle* handle,
                      heif_colorspace space, heif_chroma chroma,
                      const heif_decoding_options* options, std::string& error) {
    heif_image* image = nullptr;
    const heif_error status = heif.heif_decode_image(handle, &image, space, chroma, options);
    HeifImagePtr owned(image, heif.heif_image_release);
    if (status.code != heif_error_Ok || !owned) {
        error = heifMessage(status);
        owned.reset();
    }
    return owned;
}

DecodeResult rgbRows(const HeifLibrary& heif, const heif_image_handle* handle,
                     const heif_decoding_options* options, RowSink& sink) {
    DecodeResult result;
    const bool alpha = heif.heif_image_handle_has_alpha_channel(handle) != 0;
    const HeifImagePtr image = decodeAs(
        heif, handle, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options, result.error);
    if (!image)
        return result;
    const int width = heif.heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif.heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* pixels =
        heif.heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (pixels == nullptr || width <= 0 || height <= 0 ||
        heif.heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
        result.error = "HEIF error: the decoded picture has no usable pixels";
        return result;
    }
    return emitInterleaved(pixels, std::size_t(stride), width, height, alpha, 1, width, height,
                           sink);
}

// A grid, as the library lays it out: planar RGB, interleaved here row by row.
DecodeResult gridRows(const HeifLibrary& heif, const heif_image_handle* handle,
                      const heif_decoding_options* options, RowSink& sink) {
    DecodeResult result;
    const HeifImagePtr image =
        decodeAs(heif, handle, heif_colorspace_RGB, heif_chroma_444, options, result.error);
    if (!image)
        return result;
    static const heif_channel kChannels[3] = {heif_channel_R, heif_channel_G, heif_channel_B};
    RgbPlanes planes;
    for (int c = 0; c < 3; ++c) {
        int stride = 0;
        planes.plane[c] = heif.heif_image_get_plane_readonly(image.get(), kChannels[c], &stride);
        planes.stride[c] = std::size_t(std::max(stride, 0));
        if (planes.plane[c] == nullptr ||
            heif.heif_image_get_bits_per_pixel_range(image.get(), kChannels[c]) != 8) {
            result.error = "HEIF error: the decoded picture has no usable pixels";
            return result;
        }
    }
    planes.width = heif.heif_image_get_width(image.get(), heif_channel_R);
    planes.height = heif.heif_image_get_height(image.get(), heif_channel_R);
    if (planes.width <= 0 || planes.height <= 0 ||
        heif.heif_image_get_width(image.get(), heif_channel_B) != planes.width ||
        heif.heif_image_get_height(image.get(), heif_channel_B) != planes.height) {
        result.error = "HEIF error: the decoded picture has no usable pixels";
        return result;
    }
    return emitRgbPlanes(planes, sink);
}

// The decoded tiles of one row of a grid, each in its own planes.
class TileRow {
public:
    TileRow(const HeifLibrary& heif, heif_context* context, const HeifGridPlan& grid,
            int chromaFormat, const heif_decoding_options* options)
        : m_heif(heif), m_context(context), m_grid(grid), m_chroma(chromaFormat),
          m_options(options) {}

    // The size of the first tile, which every tile must have.
    bool size(int& width, int& height, std::string& error) {
        const HeifHandlePtr tile = open(m_grid.tiles[0], error);
        if (!tile)
            return false;
        width = m_heif.heif_image_handle_get_width(tile.get());
        height = m_heif.heif_image_handle_get_height(tile.get());
        if (width > 0 && height > 0)
            return true;
        error = "HEIF error: a tile of the grid has no size";
        return false;
    }

    // The tiles of a row are decoded side by side on up to as many threads as there are cores,
    // as libheif decodes a grid's tiles.
    bool decodeRow(int row, int columns, int width, int height, std::string& error) {
        std::vector<HeifHandlePtr> handles;
        m_images.clear();
        for (int c = 0; c < columns; ++c) {
            handles.push_back(open(
                m_grid.tiles[std::size_t(row) * std::size_t(columns) + std::size_t(c)], error));
            if (!handles.back())
                return false;
            m_images.emplace_back(nullptr, m_heif.heif_image_release);
        }
        std::vector<std::string> errors(static_cast<std::size_t>(columns));
        const auto work = [&](int first, int step) {
            static const heif_chroma kChroma[4] = {heif_chroma_monochrome, heif_chroma_420,
                                                   heif_chroma_422, heif_chroma_444};
            for (int c = first; c < columns; c += step)
                m_images[std::size_t(c)] =
                    decodeAs(m_heif, handles[std::size_t(c)].get(), heif_colorspace_YCbCr,
                             kChroma[m_chroma], m_options, errors[std::size_t(c)]);
        };
        const int threads =
            std::clamp(int(std::thread::hardware_concurrency()), 1, std::min(columns, 4));
        std::vector<std::thread> helpers;
        try {
            for (int t = 1; t < threads; ++t)
                helpers.emplace_back(work, t, threads);
            work(0, threads);
        } catch (const std::system_error&) {
            for (std::thread& helper : helpers)
                helper.join();
            helpers.clear();
            work(0, 1); // no thread to be had: one after another
        }
        for (std::thread& helper : helpers)
            helper.join();
        return check(columns, width, height, errors, error);
    }

    const YccPlanes& planes(int column) const { return m_planes[std::size_t(column)]; }
    const YccTables& tables(int column) const { return m_tables[std::size_t(column)]; }

private:
    bool check(int columns, int width, int height, const std::vector<std::string>& errors,
               std::string& error) {
        m_planes.assign(std::size_t(columns), YccPlanes{});
        m_tables.resize(std::size_t(columns));
        for (std::size_t c = 0; c < std::size_t(columns); ++c) {
            if (!m_images[c]) {
                error = errors[c];
                return false;
            }
            if (!planesOf(m_heif, m_images[c].get(), m_chroma, m_planes[c], m_tables[c]) ||
                m_planes[c].width != width || m_planes[c].height != height) {
                error = "HEIF error: the tiles of the grid differ";
                return false;
            }
        }
        return true;
    }

    HeifHandlePtr open(std::uint32_t item, std::string& error) {
        heif_image_handle* handle = nullptr;
        const heif_error status =
            m_heif.heif_context_get_image_handle(m_context, heif_item_id(item), &handle);
        HeifHandlePtr owned(handle, m_heif.heif_image_handle_release);
        if (status.code != heif_error_Ok || !owned) {
            error = heifMessage(status);
            owned.reset();
        }
        return owned;
    }

    const HeifLibrary& m_heif;
    heif_context* m_context;
    const HeifGridPlan& m_grid;
    int m_chroma;
    const heif_decoding_options* m_options;
    std::vector<HeifImagePtr> m_images;
    std::vector<YccPlanes> m_planes;
    std::vector<YccTables> m_tables;
};

// A second reading of the file, from `copy`, in which the grid's tiles are pictures of their own.
HeifContextPtr tileContext(const HeifLibrary& heif, const std::uint8_t* data, std::size_t size,
                           const HeifGridPlan& grid, std::vector<std::uint8_t>& copy,
                           std::string& error) {
    HeifContextPtr none(nullptr, heif.heif_context_free);
    try {
        copy = tilesAsPictures(data, size, grid);
    } catch (const std::bad_alloc&) {
        error = "not enough memory to decode the picture";
        return none;
    }
    HeifContextPtr context(heif.heif_context_alloc(), heif.heif_context_free);
    if (!context) {
        error = "not enough memory to decode the picture";
        return none;
    }
    heif.heif_context_set_maximum_image_size_limit(context.get(), kHeifSideLimit);
    const heif_error read = heif.heif_context_read_from_memory_without_copy(
        context.get(), copy.data(), copy.size(), nullptr);
    if (read.code != heif_error_Ok) {
        error = heifMessage(read);
        return none;
    }
    return context;
}

// A grid decoded a row of tiles at a time, each tile in its own planes, the rows going to the
// sink as they are complete: what is held is one row of tiles, not the picture. The grid's turn
// is left to the sink.
DecodeResult tileRows(const HeifLibrary& heif, const std::uint8_t* data, std::size_t size,
                      const heif_image_handle* primary, const HeifGridPlan& grid, int chromaFormat,
                      const heif_decoding_options* options, RowSink& sink) {
    DecodeResult result;
    const int width = heif.heif_image_handle_get_ispe_width(primary);
    const int height = heif.heif_image_handle_get_ispe_height(primary);
    std::vector<std::uint8_t> copy;
    const HeifContextPtr context = tileContext(heif, data, size, grid, copy, result.error);
    if (!context)
        return result;
    TileRow tiles(heif, context.get(), grid, chromaFormat, options);
    int tileWidth = 0, tileHeight = 0;
    if (!tiles.size(tileWidth, tileHeight, result.error))
        return result;
    const std::int64_t columns = (std::int64_t(width) + tileWidth - 1) / tileWidth;
    const std::int64_t rows = (std::int64_t(height) + tileHeight - 1) / tileHeight;
    if (width <= 0 || height <= 0 || columns * rows != std::int64_t(grid.tiles.size())) {
        result.error = "HEIF error: the grid's tiles do not make up its picture";
        return result;
    }
    // A row of tiles is decoded as the first of its picture rows is asked for.
    return emitMadeRows(width, height, orientationFromTransforms(grid.quarterTurns, -1), width,
                        height, sink, [&](int y, std::uint8_t* out, std::string& error) {
                            const int r = y / tileHeight;
                            if (y % tileHeight == 0 &&
                                !tiles.decodeRow(r, int(columns), tileWidth, tileHeight, error))
                                return false;
                            for (int c = 0; c < columns; ++c) {
                                const int x0 = c * tileWidth;
                                yccRow(tiles.planes(c), y - r * tileHeight, 0,
                                       std::min(tileWidth, width - x0), tiles.tables(c),
                                       out + std::size_t(x0) * 3);
                            }
                            return true;
                        });
}

} // namespace

// An 8-bit picture without alpha (what phones write) is taken from the library in its own Y'CbCr
// planes and turned into RGB a row at a time; anything else comes as the library's RGB(A). Either
// way the library applies the file's rotation and mirroring.
DecodeResult heifRows(const std::uint8_t* data, std::size_t size, RowSink& sink) {
    DecodeResult result;
    const HeifLibrary* heif = heifLibrary(result.error);
    if (heif == nullptr)
        return result;
    HeifContextPtr context(nullptr, heif->heif_context_free);
    int chromaFormat = -1;
    HeifGridPlan grid;
    const HeifHandlePtr handle =
        openPrimary(*heif, data, size, context, chromaFormat, grid, result.error);
    if (!handle)
        return result;
    const HeifOptionsPtr options(heif->heif_decoding_options_alloc(),
                                 heif->heif_decoding_options_free);
    if (!options) {
        result.error = "not enough memory to decode the picture";
        return result;
    }
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    if (chromaFormat < 0)
        return rgbRows(*heif, handle.get(), options.get(), sink);
    if (chromaFormat == kLibraryGridRgb)
        return gridRows(*heif, handle.get(), options.get(), sink);
    if (!grid.tiles.empty())
        return tileRows(*heif, data, size, handle.get(), grid, chromaFormat, options.get(), sink);
    static const heif_colorspace kSpace[4] = {heif_colorspace_monochrome, heif_colorspace_YCbCr,
                                              heif_colorspace_YCbCr, heif_colorspace_YCbCr};
    static const heif_chroma kChroma[4] = {heif_chroma_monochrome, heif_chroma_420, heif_chroma_422,
                                           heif_chroma_444};
    std::string planarError;
    HeifImagePtr image = decodeAs(*heif, handle.get(), kSpace[chromaFormat], kChroma[chromaFormat],
                                  options.get(), planarError);
    if (!image && chromaFormat != 0) {
        result.error = planarError;
        return result;
    }
    YccPlanes planes;
    YccTables tables;
    if (image && planesOf(*heif, image.get(), chromaFormat, planes, tables))
        return emitYcc(planes, tables, sink);
    // Planes of another kind or a matrix of another kind, or planes the library will not give
    // (it keeps a grid of luma-only tiles in RGB): the library's own RGB, within the bound for
    // that.
    image.reset();
    if (!checkHeldFrame(heif->heif_image_handle_get_width(handle.get()),
                        heif->heif_image_handle_get_height(handle.get()), 3, result.error))
        return result;
    return rgbRows(*heif, handle.get(), options.get(), sink);
}

} // namespace zp::detail
