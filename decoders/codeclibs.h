#pragma once
// The HEIF, WebP and AVIF libraries, loaded when the first picture of their type is met rather
// than when the program starts: together with their codecs they are dozens of shared libraries,
// whose loading would cost every start of the program (most of which only ever see JPEGs) several
// milliseconds. Each table holds the functions the decoders call, typed from the libraries' own
// headers and named as there.
#include <avif/avif.h>
#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <string>

namespace zp::detail {

#define ZP_HEIF_FUNCTIONS(X)                                                                       \
    X(heif_context_alloc)                                                                          \
    X(heif_context_free)                                                                           \
    X(heif_context_set_maximum_image_size_limit)                                                   \
    X(heif_context_read_from_memory_without_copy)                                                  \
    X(heif_context_get_primary_image_handle)                                                       \
    X(heif_image_handle_release)                                                                   \
    X(heif_image_handle_get_width)                                                                 \
    X(heif_image_handle_get_height)                                                                \
    X(heif_image_handle_has_alpha_channel)                                                         \
    X(heif_decoding_options_alloc)                                                                 \
    X(heif_decoding_options_free)                                                                  \
    X(heif_decode_image)                                                                           \
    X(heif_image_release)                                                                          \
    X(heif_image_get_width)                                                                        \
    X(heif_image_get_height)                                                                       \
    X(heif_image_get_plane_readonly)                                                               \
    X(heif_image_get_bits_per_pixel_range)                                                         \
    X(heif_image_get_colorspace)                                                                   \
    X(heif_image_get_chroma_format)                                                                \
    X(heif_image_get_nclx_color_profile)                                                           \
    X(heif_nclx_color_profile_free)                                                                \
    X(heif_context_get_image_handle)                                                               \
    X(heif_image_handle_get_ispe_width)                                                            \
    X(heif_image_handle_get_ispe_height)

// libwebp's initialisers are inline functions in its headers that call these with the version of
// the headers, which the library checks.
#define ZP_WEBP_FUNCTIONS(X)                                                                       \
    X(WebPGetFeaturesInternal)                                                                     \
    X(WebPInitDecoderConfigInternal)                                                               \
    X(WebPDecode)                                                                                  \
    X(WebPFreeDecBuffer)

#define ZP_WEBPDEMUX_FUNCTIONS(X)                                                                  \
    X(WebPDemuxInternal)                                                                           \
    X(WebPDemuxDelete)                                                                             \
    X(WebPDemuxGetChunk)                                                                           \
    X(WebPDemuxReleaseChunkIterator)                                                               \
    X(WebPAnimDecoderOptionsInitInternal)                                                          \
    X(WebPAnimDecoderNewInternal)                                                                  \
    X(WebPAnimDecoderGetInfo)                                                                      \
    X(WebPAnimDecoderGetNext)                                                                      \
    X(WebPAnimDecoderDelete)

#define ZP_AVIF_FUNCTIONS(X)                                                                       \
    X(avifDecoderCreate)                                                                           \
    X(avifDecoderDestroy)                                                                          \
    X(avifDecoderSetIOMemory)                                                                      \
    X(avifDecoderParse)                                                                            \
    X(avifDecoderNextImage)                                                                        \
    X(avifResultToString)                                                                          \
    X(avifRGBImageSetDefaults)                                                                     \
    X(avifRGBImageAllocatePixels)                                                                  \
    X(avifRGBImageFreePixels)                                                                      \
    X(avifImageYUVToRGB)                                                                           \
    X(avifCropRectConvertCleanApertureBox)

#define ZP_CODEC_FUNCTION_POINTER(name) decltype(&::name) name = nullptr;

struct HeifLibrary {
    ZP_HEIF_FUNCTIONS(ZP_CODEC_FUNCTION_POINTER)
};

// libwebp and its demuxer (animations and metadata chunks), loaded together.
struct WebpLibrary {
    ZP_WEBP_FUNCTIONS(ZP_CODEC_FUNCTION_POINTER)
    ZP_WEBPDEMUX_FUNCTIONS(ZP_CODEC_FUNCTION_POINTER)
};

struct AvifLibrary {
    ZP_AVIF_FUNCTIONS(ZP_CODEC_FUNCTION_POINTER)
};

// The library's functions, loaded on the first call from whichever thread makes it; later calls
// and other threads get the same table. nullptr, with a message naming the library, when it cannot
// be loaded or lacks a function; the answer stays the same for the life of the process.
const HeifLibrary* heifLibrary(std::string& error);
const WebpLibrary* webpLibrary(std::string& error);
const AvifLibrary* avifLibrary(std::string& error);

} // namespace zp::detail
