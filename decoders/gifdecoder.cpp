// GIF through giflib's record-level reader: only the first frame is decoded, composed on the
// logical screen the way viewers show a still of the file.
#include "decoders/formats.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>
#include <memory>
#include <vector>

namespace zp::detail {

namespace {

int readInput(GifFileType* gif, GifByteType* out, int count) {
    if (count <= 0)
        return 0;
    return static_cast<int>(
        static_cast<InputBytes*>(gif->UserData)->read(out, static_cast<std::size_t>(count)));
}

std::string gifError(int code) {
    const char* text = GifErrorString(code);
    return std::string("GIF error: ") + (text != nullptr ? text : "unknown failure");
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

struct FirstFrame {
    int transparent = -1; // colour index shown as background, -1 for none
    int canvasWidth = 0;
    int canvasHeight = 0;
};

// Skips extension records up to the first image descriptor, noting the transparent colour of
// its graphic control extension. On success gif->Image describes the first frame.
bool findFirstFrame(GifFileType* gif, FirstFrame& frame, std::string& error) {
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            error = gifError(gif->Error);
            return false;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            error = "the GIF file has no picture";
            return false;
        }
        if (type == IMAGE_DESC_RECORD_TYPE)
            break;
        if (type != EXTENSION_RECORD_TYPE)
            continue;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
            error = gifError(gif->Error);
            return false;
        }
        // Graphic control block: [4] flags, delay (2), transparent index.
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4)
            frame.transparent = (block[1] & 0x01) != 0 ? block[4] : -1;
        while (block != nullptr) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                error = gifError(gif->Error);
                return false;
            }
        }
    }
    if (DGifGetImageDesc(gif) == GIF_ERROR) {
        error = gifError(gif->Error);
        return false;
    }
    const GifImageDesc& d = gif->Image;
    frame.canvasWidth = std::max<int>(gif->SWidth, d.Left + d.Width);
    frame.canvasHeight = std::max<int>(gif->SHeight, d.Top + d.Height);
    return checkDimensions(frame.canvasWidth, frame.canvasHeight, error);
}

// Rows of an interlaced frame arrive as every 8th from 0, every 8th from 4, every 4th from 2,
// then every 2nd from 1.
std::vector<int> rowOrder(int height, bool interlaced) {
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            order.push_back(y);
        return order;
    }
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass])
            order.push_back(y);
    return order;
}

// One canvas row: white, with the frame's line (colour indices) laid over it.
void composeRow(const GifFileType* gif, const FirstFrame& frame, const ColorMapObject* map,
                const GifPixelType* line, std::uint8_t* out) {
    const GifImageDesc& d = gif->Image;
    std::fill(out, out + static_cast<std::size_t>(frame.canvasWidth) * 3, std::uint8_t{255});
    if (line == nullptr)
        return;
    out += static_cast<std::size_t>(d.Left) * 3;
    for (int x = 0; x < d.Width; ++x, out += 3) {
        const int index = line[x];
        if (index == frame.transparent)
            continue;
        if (index >= map->ColorCount) {
            out[0] = out[1] = out[2] = 0;
            continue;
        }
        out[0] = map->Colors[index].Red;
        out[1] = map->Colors[index].Green;
        out[2] = map->Colors[index].Blue;
    }
}

// Canvas rows top to bottom. The frame's lines of an interlaced GIF arrive in four passes, so
// its indices are kept whole until the last; otherwise one line at a time will do.
bool drawFrame(GifFileType* gif, const FirstFrame& frame, RowSink& sink, std::string& error) {
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
    if (map == nullptr || map->Colors == nullptr) {
        error = "the GIF picture has no colour table";
        return false;
    }
    if (!sink.begin(frame.canvasWidth, frame.canvasHeight, 1, error))
        return false;
    const bool hasLines = d.Width > 0 && d.Height > 0;
    const std::uint64_t width = hasLines ? static_cast<std::uint64_t>(d.Width) : 0;
    std::vector<std::uint8_t> lines;
    std::vector<std::uint8_t> row;
    if (!allocateScratch(lines, d.Interlace ? width * d.Height : width, error) ||
        !allocateScratch(row, std::uint64_t(frame.canvasWidth) * 3, error))
        return false;
    if (hasLines && d.Interlace) {
        for (const int y : rowOrder(d.Height, true)) {
            if (DGifGetLine(gif, lines.data() + width * y, d.Width) == GIF_ERROR) {
                error = gifError(gif->Error);
                return false;
            }
        }
    }
    for (int y = 0; y < frame.canvasHeight; ++y) {
        const GifPixelType* line = nullptr;
        if (hasLines && y >= d.Top && y < d.Top + d.Height) {
            line = lines.data() + (d.Interlace ? width * (y - d.Top) : 0);
            if (!d.Interlace && DGifGetLine(gif, lines.data(), d.Width) == GIF_ERROR) {
                error = gifError(gif->Error);
                return false;
            }
        }
        composeRow(gif, frame, map, line, row.data());
        sink.row(y, row.data());
    }
    return true;
}

GifHandle openGif(InputBytes& input, std::string& error) {
    int code = 0;
    GifHandle gif(DGifOpen(&input, readInput, &code));
    if (!gif)
        error = gifError(code);
    return gif;
}

} // namespace

bool probeGifInput(InputBytes& input, PictureInfo& info, std::string& error) {
    GifHandle gif = openGif(input, error);
    FirstFrame frame;
    if (!gif || !findFirstFrame(gif.get(), frame, error))
        return false;
    info.type = PictureType::Gif;
    info.width = frame.canvasWidth;
    info.height = frame.canvasHeight;
    return true;
}

bool probeGif(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    InputBytes input(data, size);
    return probeGifInput(input, info, error);
}

DecodeResult gifRows(InputBytes& input, RowSink& sink) {
    DecodeResult result;
    GifHandle gif = openGif(input, result.error);
    FirstFrame frame;
    if (!gif || !findFirstFrame(gif.get(), frame, result.error) ||
        !drawFrame(gif.get(), frame, sink, result.error))
        return result;
    result.fullWidth = frame.canvasWidth;
    result.fullHeight = frame.canvasHeight;
    result.ok = true;
    return result;
}

DecodeResult decodeGif(const std::uint8_t* data, std::size_t size) {
    return collectRows([&](RowSink& sink) {
        InputBytes input(data, size);
        return gifRows(input, sink);
    });
}

} // namespace zp::detail
