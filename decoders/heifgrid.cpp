#include "decoders/heifgrid.h"

#include <cstring>
#include <functional>
#include <string>

namespace zp::detail {

namespace {

struct Span {
    const std::uint8_t* p = nullptr;
    std::size_t n = 0;
};

std::uint32_t be(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

// Calls `each` with the type and payload of every box in `span`; false when a box runs past it.
bool forEachBox(Span span, const std::function<void(const char*, Span)>& each) {
    std::size_t at = 0;
    while (span.n - at >= 8) {
        std::uint64_t size = be(span.p + at, 4);
        std::size_t header = 8;
        if (size == 1) {
            if (span.n - at < 16)
                return false;
            size = std::uint64_t(be(span.p + at + 8, 4)) << 32 | be(span.p + at + 12, 4);
            header = 16;
        } else if (size == 0) {
            size = span.n - at;
        }
        if (size < header || size > span.n - at)
            return false;
        each(reinterpret_cast<const char*>(span.p + at + 4),
             Span{span.p + at + header, std::size_t(size) - header});
        at += std::size_t(size);
    }
    return at == span.n;
}

bool is(const char* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

// The boxes of 'meta' that say what the primary item is.
struct MetaParts {
    Span pitm, iinf, iref, ipco, ipma;
};

bool metaParts(const std::uint8_t* data, std::size_t size, MetaParts& parts) {
    Span meta;
    if (!forEachBox(Span{data, size},
                    [&](const char* t, Span s) {
                        if (is(t, "meta") && meta.p == nullptr)
                            meta = s;
                    }) ||
        meta.n < 4)
        return false;
    Span iprp;
    const bool ok = forEachBox(Span{meta.p + 4, meta.n - 4}, [&](const char* t, Span s) {
        if (is(t, "pitm"))
            parts.pitm = s;
        else if (is(t, "iinf"))
            parts.iinf = s;
        else if (is(t, "iref"))
            parts.iref = s;
        else if (is(t, "iprp"))
            iprp = s;
    });
    if (!ok || iprp.p == nullptr || !forEachBox(iprp, [&](const char* t, Span s) {
            if (is(t, "ipco"))
                parts.ipco = s;
            else if (is(t, "ipma"))
                parts.ipma = s;
        }))
        return false;
    return parts.pitm.n >= 6 && parts.iinf.n >= 6 && parts.iref.n >= 4 && parts.ipco.p &&
           parts.ipma.n >= 8;
}

// The offsets of the last flags byte of the hidden items' 'infe' entries.
void hiddenItems(const MetaParts& parts, const std::uint8_t* file,
                 std::vector<std::size_t>& offsets) {
    const std::size_t skip = parts.iinf.p[0] == 0 ? 6 : 8;
    if (parts.iinf.n < skip)
        return;
    forEachBox(Span{parts.iinf.p + skip, parts.iinf.n - skip}, [&](const char* t, Span s) {
        if (is(t, "infe") && s.n >= 4 && (s.p[3] & 1) != 0)
            offsets.push_back(std::size_t(s.p + 3 - file));
    });
}

bool primaryIsGrid(const MetaParts& parts, std::uint32_t primary) {
    const int version = parts.iinf.p[0];
    const std::size_t skip = version == 0 ? 6 : 8;
    if (parts.iinf.n < skip)
        return false;
    bool grid = false;
    forEachBox(Span{parts.iinf.p + skip, parts.iinf.n - skip}, [&](const char* t, Span s) {
        if (!is(t, "infe") || s.n < 4 || s.p[0] < 2)
            return;
        const int idBytes = s.p[0] == 2 ? 2 : 4;
        if (s.n >= std::size_t(4 + idBytes + 2 + 4) && be(s.p + 4, idBytes) == primary &&
            std::memcmp(s.p + 4 + idBytes + 2, "grid", 4) == 0)
            grid = true;
    });
    return grid;
}

bool gridTiles(const MetaParts& parts, std::uint32_t primary, std::vector<std::uint32_t>& tiles,
               const std::uint8_t*& referenceType) {
    const int idBytes = parts.iref.p[0] == 0 ? 2 : 4;
    bool found = false, ok = true;
    forEachBox(Span{parts.iref.p + 4, parts.iref.n - 4}, [&](const char* t, Span s) {
        if (!is(t, "dimg") || s.n < std::size_t(idBytes + 2) || be(s.p, idBytes) != primary)
            return;
        const std::size_t count = be(s.p + idBytes, 2);
        if (found || s.n < idBytes + 2 + count * idBytes) {
            ok = false;
            return;
        }
        found = true;
        referenceType = reinterpret_cast<const std::uint8_t*>(t);
        for (std::size_t i = 0; i < count; ++i)
            tiles.push_back(be(s.p + idBytes + 2 + i * idBytes, idBytes));
    });
    return ok && found && !tiles.empty();
}

// The primary item's properties, in the order they are associated.
bool primaryProperties(const MetaParts& parts, std::uint32_t primary, std::vector<Span>& props,
                       std::vector<std::string>& types) {
    std::vector<Span> all;
    std::vector<std::string> allTypes;
    if (!forEachBox(parts.ipco, [&](const char* t, Span s) {
            all.push_back(s);
            allTypes.emplace_back(t, 4);
        }))
        return false;
    const int version = parts.ipma.p[0];
    const bool wide = (parts.ipma.p[3] & 1) != 0;
    const int idBytes = version < 1 ? 2 : 4;
    const std::uint32_t entries = be(parts.ipma.p + 4, 4);
    std::size_t at = 8;
    for (std::uint32_t e = 0; e < entries; ++e) {
        if (parts.ipma.n - at < std::size_t(idBytes + 1))
            return false;
        const std::uint32_t item = be(parts.ipma.p + at, idBytes);
        const int count = parts.ipma.p[at + idBytes];
        at += idBytes + 1;
        if (parts.ipma.n - at < std::size_t(count) * (wide ? 2 : 1))
            return false;
        for (int i = 0; i < count; ++i, at += wide ? 2 : 1) {
            const std::uint32_t index =
                wide ? be(parts.ipma.p + at, 2) & 0x7fff : parts.ipma.p[at] & 0x7f;
            if (item != primary || index == 0)
                continue;
            if (index > all.size())
                return false;
            props.push_back(all[index - 1]);
            types.push_back(allTypes[index - 1]);
        }
    }
    return true;
}

} // namespace

bool readHeifGrid(const std::uint8_t* data, std::size_t size, HeifGridPlan& plan) {
    plan = HeifGridPlan{};
    MetaParts parts;
    if (!metaParts(data, size, parts))
        return false;
    const std::uint32_t primary = parts.pitm.p[0] == 0 ? be(parts.pitm.p + 4, 2)
                                  : parts.pitm.n >= 8  ? be(parts.pitm.p + 4, 4)
                                                       : 0;
    const std::uint8_t* referenceType = nullptr;
    if (primary == 0 || !primaryIsGrid(parts, primary) ||
        !gridTiles(parts, primary, plan.tiles, referenceType))
        return false;
    plan.referenceType = std::size_t(referenceType - data);
    hiddenItems(parts, data, plan.hiddenFlags);
    std::vector<Span> props;
    std::vector<std::string> types;
    if (!primaryProperties(parts, primary, props, types))
        return false;
    for (std::size_t i = 0; i < props.size(); ++i) {
        if (types[i] == "irot" && props[i].n >= 1)
            plan.quarterTurns = (plan.quarterTurns + (props[i].p[0] & 3)) % 4;
        else if (types[i] == "imir" || types[i] == "clap" || types[i] == "irot")
            return false;
    }
    return true;
}

std::vector<std::uint8_t> tilesAsPictures(const std::uint8_t* data, std::size_t size,
                                          const HeifGridPlan& plan) {
    std::vector<std::uint8_t> copy(data, data + size);
    std::memcpy(copy.data() + plan.referenceType, "zpnt", 4); // no reference libheif knows
    for (const std::size_t at : plan.hiddenFlags)
        copy[at] &= 0xfe;
    return copy;
}

} // namespace zp::detail
