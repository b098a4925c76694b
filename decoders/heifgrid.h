#pragma once
// The layout of a HEIF file whose primary picture is a grid (tiles in rows and columns, as phones
// store their photos), read from the file's boxes so that the tiles can be decoded one row of
// tiles at a time: libheif would lay the whole grid out in one RGB frame first.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zp::detail {

struct HeifGridPlan {
    std::vector<std::uint32_t> tiles; // the tile items, row by row
    int quarterTurns = 0;             // anticlockwise, from an 'irot' of the grid
    // Where the file says that the tiles belong to the grid (the type of its 'dimg' reference)
    // and that they are hidden (the last flags byte of their 'infe' entries): libheif hands out
    // only pictures that are neither, so the tiles are read from a copy of the file with these
    // bytes changed.
    std::size_t referenceType = 0;
    std::vector<std::size_t> hiddenFlags;
};

// The copy of the file in which the grid's tiles are pictures of their own.
std::vector<std::uint8_t> tilesAsPictures(const std::uint8_t* data, std::size_t size,
                                          const HeifGridPlan& plan);

// True when the primary item is a grid whose only transformation is a turn (no crop, no
// mirroring), with its tiles and turn in `plan`; false for anything else or anything unreadable.
bool readHeifGrid(const std::uint8_t* data, std::size_t size, HeifGridPlan& plan);

} // namespace zp::detail
