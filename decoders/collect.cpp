// Whole pictures from the row decoders: the rows are gathered into one upright bitmap.
#include "decoders/formats.h"
#include "decoders/orientation.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zp::detail {

namespace {

class CollectSink final : public RowSink {
public:
    explicit CollectSink(Bitmap& bitmap) : m_bitmap(bitmap) {}

    bool begin(int width, int height, int orientation, std::string& error) noexcept override {
        m_orientation = orientation;
        return allocateBitmap(m_bitmap, width, height, error);
    }
    bool beginWhole(int width, int height, std::size_t bytes, std::uint8_t*& whole,
                    std::string& error) noexcept override {
        whole = nullptr;
        m_orientation = 1;
        if (std::uint64_t(width) * std::uint64_t(height) * 3 > kMaxHeldPictureBytes)
            return allocateBitmap(m_bitmap, width, height, error); // its message
        try {
            m_bitmap.width = width;
            m_bitmap.height = height;
            m_bitmap.pixels = std::vector<std::uint8_t>();
            m_bitmap.pixels.resize(std::max(bytes, m_bitmap.stride() * std::size_t(height)));
            whole = m_bitmap.pixels.data();
            return true;
        } catch (const std::bad_alloc&) {
            m_bitmap = Bitmap();
            error = "not enough memory for a " + std::to_string(width) + " x " +
                    std::to_string(height) + " picture";
            return false;
        }
    }
    void row(int y, const std::uint8_t* rgb) noexcept override {
        std::uint8_t* target = rowTarget(y);
        if (target != rgb)
            std::memcpy(target, rgb, m_bitmap.stride());
    }
    // A picture stored bottom up is put the right way round as it comes in.
    std::uint8_t* rowTarget(int y) noexcept override {
        return m_bitmap.row(m_orientation == 4 ? m_bitmap.height - 1 - y : y);
    }
    // May throw std::bad_alloc: orientations 5 to 8 need a second buffer.
    void finish() {
        m_bitmap.pixels.resize(m_bitmap.stride() * std::size_t(m_bitmap.height));
        if (m_orientation != 4)
            applyOrientation(m_bitmap, m_orientation);
    }

private:
    Bitmap& m_bitmap;
    int m_orientation = 1;
};

} // namespace

DecodeResult collectRows(const std::function<DecodeResult(RowSink&)>& decode) {
    Bitmap bitmap;
    CollectSink sink(bitmap);
    DecodeResult result = decode(sink);
    if (!result.ok) {
        result.bitmap = Bitmap{};
        return result;
    }
    sink.finish();
    result.bitmap = std::move(bitmap);
    return result;
}

bool InputBytes::rewind() {
    m_left = m_size;
    m_error = false;
    if (m_file == nullptr) {
        m_data = m_start;
        return true;
    }
    return m_fileStart >= 0 && std::fseek(m_file, m_fileStart, SEEK_SET) == 0;
}

std::size_t InputBytes::read(void* out, std::size_t n) {
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_left));
    if (n == 0)
        return 0;
    if (m_data != nullptr) {
        std::memcpy(out, m_data, n);
        m_data += n;
    } else {
        const std::size_t got = std::fread(out, 1, n, m_file);
        m_error = m_error || (got < n && std::ferror(m_file));
        n = got;
    }
    m_left -= n;
    return n;
}

bool InputBytes::skip(std::uint64_t n) {
    const std::uint64_t step = std::min(n, m_left);
    if (m_data != nullptr) {
        m_data += step;
    } else {
        // In pieces that a 32-bit long holds.
        for (std::uint64_t left = step; left > 0;) {
            const long part = static_cast<long>(std::min<std::uint64_t>(left, 1u << 30));
            if (std::fseek(m_file, part, SEEK_CUR) != 0) {
                m_error = true;
                return false;
            }
            left -= static_cast<std::uint64_t>(part);
        }
    }
    m_left -= step;
    return step == n;
}

bool allocateScratch(std::vector<std::uint8_t>& buffer, std::uint64_t bytes,
                     std::string& error) noexcept {
    if (bytes > kMaxHeldPictureBytes) {
        error = "the interlaced picture is too large to decode in the memory allowed for it";
        return false;
    }
    try {
        buffer.assign(static_cast<std::size_t>(bytes), 0);
        return true;
    } catch (const std::bad_alloc&) {
        error = "not enough memory to decode the picture";
        return false;
    }
}

} // namespace zp::detail
