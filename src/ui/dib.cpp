#include "ui/dib.h"

#include <algorithm>
#include <bit>
#include <unordered_map>

namespace dib {
namespace {

std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

bool fail(std::string* error, const char* message)
{
    if (error)
        *error = message;
    return false;
}

// How one colour channel sits in a 16- or 32-bit pixel.
struct Channel
{
    int shift = 0;
    int width = 0;
};

bool channelOf(std::uint32_t mask, Channel& out)
{
    if (mask == 0) {
        out = {};
        return true;
    }
    out.shift = std::countr_zero(mask);
    const std::uint32_t bits = mask >> out.shift;
    if ((bits & (bits + 1)) != 0)
        return false; // holes in the mask
    out.width = std::popcount(bits);
    return true;
}

// A channel's value scaled to 8 bits; narrow channels repeat their top bits so that full
// intensity stays 255.
std::uint32_t expand(std::uint32_t raw, const Channel& c)
{
    if (c.width == 0)
        return 0;
    std::uint32_t v = (raw >> c.shift) & ((c.width >= 32) ? 0xFFFFFFFFu : ((1u << c.width) - 1));
    if (c.width >= 8)
        return v >> (c.width - 8);
    std::uint32_t result = 0;
    int filled = 0;
    while (filled < 8) {
        result = (result << c.width) | v;
        filled += c.width;
    }
    return result >> (filled - 8);
}

std::uint32_t pack(std::uint32_t value8, const Channel& c)
{
    if (c.width == 0)
        return 0;
    const std::uint32_t v = c.width >= 8 ? (value8 << (c.width - 8)) : (value8 >> (8 - c.width));
    return v << c.shift;
}

std::uint64_t strideOf(std::uint64_t bitCount, std::uint64_t width)
{
    return ((bitCount * width + 31) / 32) * 4;
}

} // namespace

bool readHeader(const std::uint8_t* data, std::size_t size, Layout& out, std::string* error)
{
    if (!data || size < 4)
        return fail(error, "too short for a bitmap header");
    out = {};
    out.headerSize = le32(data);
    if (out.headerSize == 12)
        return fail(error, "OS/2 bitmap headers are not supported");
    if (out.headerSize != 40 && out.headerSize != 52 && out.headerSize != 56 &&
        out.headerSize != 108 && out.headerSize != 124)
        return fail(error, "unknown bitmap header size");
    if (size < out.headerSize)
        return fail(error, "bitmap header cut short");
    out.width = static_cast<std::int32_t>(le32(data + 4));
    out.height = static_cast<std::int32_t>(le32(data + 8));
    out.planes = le16(data + 12);
    out.bitCount = le16(data + 14);
    out.compression = le32(data + 16);
    out.colorsUsed = le32(data + 32);

    if (out.width <= 0 || out.height == 0 || out.height == INT32_MIN)
        return fail(error, "impossible bitmap dimensions");
    const std::int64_t h = out.height < 0 ? -std::int64_t(out.height) : out.height;
    if (out.width > kMaxSide || h > kMaxSide || std::int64_t(out.width) * h > kMaxPixels)
        return fail(error, "bitmap dimensions too large");
    if (out.planes != 1)
        return fail(error, "bitmap must have one plane");
    switch (out.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return fail(error, "unsupported bits per pixel");
    }
    if (out.compression != BI_RGB && out.compression != BI_BITFIELDS)
        return fail(error, "unsupported bitmap compression");
    if (out.compression == BI_BITFIELDS && out.bitCount != 16 && out.bitCount != 32)
        return fail(error, "colour masks need 16 or 32 bits per pixel");

    if (out.bitCount <= 8)
        out.tableEntries = out.colorsUsed ? out.colorsUsed : (1u << out.bitCount);
    else
        out.tableEntries = out.colorsUsed;

    std::uint64_t afterHeader = out.headerSize;
    if (out.compression == BI_BITFIELDS) {
        // A 40-byte header is followed by the three masks; the longer headers hold them.
        const std::uint64_t maskAt = 40;
        if (out.headerSize == 40)
            afterHeader += 12;
        if (size < maskAt + 12)
            return fail(error, "colour masks cut short");
        for (int i = 0; i < 3; ++i)
            out.masks[i] = le32(data + maskAt + 4 * i);
    } else if (out.bitCount == 16) {
        out.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (out.bitCount == 32) {
        out.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    }
    out.bitsOffset = afterHeader + out.tableEntries * 4;
    out.stride = strideOf(out.bitCount, static_cast<std::uint64_t>(out.width));
    if (out.bitsOffset > size)
        return fail(error, "bitmap colour table cut short");
    return true;
}

bool readLayout(const std::uint8_t* data, std::size_t size, Layout& out, std::string* error)
{
    if (!readHeader(data, size, out, error))
        return false;
    const std::uint64_t h = out.height < 0 ? -std::int64_t(out.height) : out.height;
    if (out.stride * h > size - out.bitsOffset)
        return fail(error, "bitmap pixel data cut short");
    return true;
}

bool decode(const std::uint8_t* data, std::size_t size, Image& out, std::string* error)
{
    Layout l;
    if (!readLayout(data, size, l, error))
        return false;
    std::array<Channel, 3> ch{};
    if (l.bitCount == 16 || l.bitCount == 32) {
        for (int i = 0; i < 3; ++i) {
            if (!channelOf(l.masks[i], ch[i]))
                return fail(error, "colour masks with holes are not supported");
        }
    }

    const bool topDown = l.height < 0;
    const int width = l.width;
    const int height = topDown ? -l.height : l.height;
    Image img;
    img.width = width;
    img.height = height;
    img.bitCount = l.bitCount;

    // Palette entries beyond 256 cannot be addressed; an index past the table reads as black.
    const std::size_t tableStart =
        l.headerSize + ((l.compression == BI_BITFIELDS && l.headerSize == 40) ? 12 : 0);
    const std::size_t usable =
        static_cast<std::size_t>(l.tableEntries < 256 ? l.tableEntries : 256);
    img.colorTable.reserve(usable);
    for (std::size_t i = 0; i < usable; ++i) {
        const std::uint8_t* q = data + tableStart + 4 * i;
        img.colorTable.push_back(std::uint32_t(q[2]) << 16 | std::uint32_t(q[1]) << 8 | q[0]);
    }
    auto paletteColor = [&](unsigned index) -> std::uint32_t {
        if (l.bitCount > 8 || index >= img.colorTable.size())
            return 0xFF000000u;
        return 0xFF000000u | img.colorTable[index];
    };

    img.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int srcRow = topDown ? y : height - 1 - y;
        const std::uint8_t* row =
            data + l.bitsOffset + l.stride * static_cast<std::uint64_t>(srcRow);
        std::uint32_t* dst = img.pixels.data() + static_cast<std::size_t>(y) * width;
        switch (l.bitCount) {
        case 1:
            for (int x = 0; x < width; ++x)
                dst[x] = paletteColor((row[x >> 3] >> (7 - (x & 7))) & 1);
            break;
        case 4:
            for (int x = 0; x < width; ++x)
                dst[x] = paletteColor((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF);
            break;
        case 8:
            for (int x = 0; x < width; ++x)
                dst[x] = paletteColor(row[x]);
            break;
        case 16:
            for (int x = 0; x < width; ++x) {
                const std::uint32_t v = le16(row + 2 * x);
                dst[x] =
                    0xFF000000u | expand(v, ch[0]) << 16 | expand(v, ch[1]) << 8 | expand(v, ch[2]);
            }
            break;
        case 24:
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = row + 3 * x;
                dst[x] = 0xFF000000u | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
            }
            break;
        case 32:
            for (int x = 0; x < width; ++x) {
                const std::uint32_t v = le32(row + 4 * x);
                dst[x] =
                    0xFF000000u | expand(v, ch[0]) << 16 | expand(v, ch[1]) << 8 | expand(v, ch[2]);
            }
            break;
        }
    }
    out = std::move(img);
    return true;
}

bool encode(const Image& image, const EncodeOptions& options, std::vector<std::uint8_t>& out,
            std::string* error)
{
    const int bits = options.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return fail(error, "unsupported bits per pixel");
    if (image.width <= 0 || image.height <= 0 || image.width > kMaxSide ||
        image.height > kMaxSide || std::int64_t(image.width) * image.height > kMaxPixels ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
        return fail(error, "impossible image dimensions");
    const bool bitfields = options.bitfields && (bits == 16 || bits == 32);

    std::vector<std::uint32_t> table;
    std::unordered_map<std::uint32_t, unsigned> indexOf;
    if (bits <= 8) {
        const std::size_t capacity = std::size_t(1) << bits;
        if (!image.colorTable.empty()) {
            table = image.colorTable;
            for (std::size_t i = 0; i < table.size(); ++i)
                indexOf.emplace(table[i] & 0xFFFFFF, static_cast<unsigned>(i));
        } else {
            for (std::uint32_t px : image.pixels) {
                const std::uint32_t rgb = px & 0xFFFFFF;
                if (indexOf.emplace(rgb, static_cast<unsigned>(table.size())).second)
                    table.push_back(rgb);
                if (table.size() > capacity)
                    break;
            }
        }
        if (table.size() > capacity)
            return fail(error, "too many colours for the depth");
    }

    std::array<Channel, 3> ch{};
    std::array<std::uint32_t, 3> masks = options.masks;
    if (!bitfields && bits == 16)
        masks = {0x7C00, 0x03E0, 0x001F};
    if (!bitfields && bits == 32)
        masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    if (bits == 16 || bits == 32) {
        for (int i = 0; i < 3; ++i) {
            if (!channelOf(masks[i], ch[i]))
                return fail(error, "colour masks with holes are not supported");
        }
    }

    const std::uint64_t stride = strideOf(static_cast<std::uint64_t>(bits), image.width);
    out.clear();
    out.reserve(kInfoHeaderSize + 12 + table.size() * 4 + stride * image.height);
    put32(out, static_cast<std::uint32_t>(kInfoHeaderSize));
    put32(out, static_cast<std::uint32_t>(image.width));
    put32(out, static_cast<std::uint32_t>(options.topDown ? -image.height : image.height));
    put16(out, 1);
    put16(out, static_cast<std::uint16_t>(bits));
    put32(out, bitfields ? BI_BITFIELDS : BI_RGB);
    put32(out, static_cast<std::uint32_t>(stride * image.height));
    put32(out, 2835); // 72 dots per inch
    put32(out, 2835);
    put32(out, static_cast<std::uint32_t>(table.size()));
    put32(out, 0);
    if (bitfields) {
        for (std::uint32_t m : masks)
            put32(out, m);
    }
    for (std::uint32_t c : table) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c >> 16));
        out.push_back(0);
    }

    std::vector<std::uint8_t> row(stride);
    for (int i = 0; i < image.height; ++i) {
        const int y = options.topDown ? i : image.height - 1 - i;
        std::fill(row.begin(), row.end(), 0);
        const std::uint32_t* src = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t px = src[x];
            const std::uint32_t r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
            switch (bits) {
            case 1:
            case 4:
            case 8: {
                auto it = indexOf.find(px & 0xFFFFFF);
                if (it == indexOf.end())
                    return fail(error, "a colour of the image is missing from its colour table");
                const unsigned idx = it->second;
                if (bits == 8)
                    row[x] = static_cast<std::uint8_t>(idx);
                else if (bits == 4)
                    row[x >> 1] |= static_cast<std::uint8_t>(idx << ((x & 1) ? 0 : 4));
                else
                    row[x >> 3] |= static_cast<std::uint8_t>((idx & 1) << (7 - (x & 7)));
                break;
            }
            case 16: {
                const std::uint32_t v = pack(r, ch[0]) | pack(g, ch[1]) | pack(b, ch[2]);
                row[2 * x] = static_cast<std::uint8_t>(v);
                row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                break;
            }
            case 24:
                row[3 * x] = static_cast<std::uint8_t>(b);
                row[3 * x + 1] = static_cast<std::uint8_t>(g);
                row[3 * x + 2] = static_cast<std::uint8_t>(r);
                break;
            case 32: {
                const std::uint32_t v = pack(r, ch[0]) | pack(g, ch[1]) | pack(b, ch[2]);
                for (int k = 0; k < 4; ++k)
                    row[4 * x + k] = static_cast<std::uint8_t>(v >> (8 * k));
                break;
            }
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return true;
}

bool bmpFileFromPackedDib(const std::uint8_t* data, std::size_t size,
                          std::vector<std::uint8_t>& out, std::string* error)
{
    Layout l;
    if (!readLayout(data, size, l, error))
        return false;
    const std::uint64_t h = l.height < 0 ? -std::int64_t(l.height) : l.height;
    const std::uint64_t used = l.bitsOffset + l.stride * h;
    out.clear();
    out.reserve(kFileHeaderSize + used);
    out.push_back('B');
    out.push_back('M');
    put32(out, static_cast<std::uint32_t>(kFileHeaderSize + used));
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(kFileHeaderSize + l.bitsOffset));
    out.insert(out.end(), data, data + used);
    return true;
}

bool packedDibFromBmpFile(const std::uint8_t* data, std::size_t size,
                          std::vector<std::uint8_t>& out, std::string* error)
{
    if (!data || size < kFileHeaderSize + 4 || data[0] != 'B' || data[1] != 'M')
        return fail(error, "not a BMP file");
    const std::uint32_t offBits = le32(data + 10);
    const std::uint8_t* dib = data + kFileHeaderSize;
    const std::size_t dibSize = size - kFileHeaderSize;
    // The header and colour table are read where they are; the bits may sit further on.
    Layout l;
    if (!readHeader(dib, dibSize, l, error))
        return false;
    if (offBits < kFileHeaderSize + l.bitsOffset || offBits > size)
        return fail(error, "BMP pixel offset points outside the file");
    out.assign(dib, dib + l.bitsOffset);
    out.insert(out.end(), data + offBits, data + size);
    return readLayout(out.data(), out.size(), l, error);
}

} // namespace dib
