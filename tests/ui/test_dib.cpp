// The packed-DIB reader and writer, checked against Qt's own BMP reader as a peer.
#include "uitest.h"

#include "ui/dib.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstring>
#include <functional>
#include <random>
#include <tuple>

namespace {

// An image whose colours fit a depth: a palette of 2^bits colours for 1-8 bits.
dib::Image randomImage(int w, int h, int bits, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    dib::Image img;
    img.width = w;
    img.height = h;
    std::vector<std::uint32_t> palette;
    if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i)
            palette.push_back(rng() & 0xFFFFFF);
        img.colorTable = palette;
    }
    for (int i = 0; i < w * h; ++i) {
        const std::uint32_t rgb = bits <= 8 ? palette[rng() % palette.size()] : (rng() & 0xFFFFFF);
        img.pixels.push_back(0xFF000000u | rgb);
    }
    return img;
}

dib::EncodeOptions options(int bits, bool bitfields = false, bool topDown = false)
{
    dib::EncodeOptions o;
    o.bitCount = bits;
    o.bitfields = bitfields;
    o.topDown = topDown;
    return o;
}

// The image decoded from its encoding, which `bytes` gets.
dib::Image roundTrip(const dib::Image& src, const dib::EncodeOptions& o,
                     std::vector<std::uint8_t>& bytes)
{
    std::string error;
    dib::Image back;
    EXPECT_TRUE(dib::encode(src, o, bytes, &error)) << error;
    EXPECT_TRUE(dib::decode(bytes.data(), bytes.size(), back, &error)) << error;
    return back;
}

QImage qtRead(const std::vector<std::uint8_t>& packedDib)
{
    std::vector<std::uint8_t> file;
    EXPECT_TRUE(dib::bmpFileFromPackedDib(packedDib.data(), packedDib.size(), file));
    return QImage::fromData(file.data(), static_cast<int>(file.size()), "BMP")
        .convertToFormat(QImage::Format_RGB32);
}

struct Depth
{
    int bits;
    bool bitfields;
    std::array<std::uint32_t, 3> masks;
    bool exact; // every 8-bit colour survives
};

} // namespace

TEST(Dib, EveryDepthRoundTripsAndQtReadsTheSamePixels)
{
    const Depth depths[] = {
        {1, false, {}, true},
        {4, false, {}, true},
        {8, false, {}, true},
        {16, false, {}, false},
        {16, true, {0xF800, 0x07E0, 0x001F}, false},
        {24, false, {}, true},
        {32, false, {}, true},
        {32, true, {0x000000FF, 0x0000FF00, 0x00FF0000}, true},
    };
    // Odd widths make every row need padding.
    for (const Depth& d : depths) {
        for (bool topDown : {false, true}) {
            for (auto [w, h] : {std::pair{13, 5}, {7, 9}, {1, 1}, {33, 3}}) {
                SCOPED_TRACE(testing::Message()
                             << d.bits << " bits, bitfields " << d.bitfields << ", top-down "
                             << topDown << ", " << w << "x" << h);
                const dib::Image src = randomImage(w, h, d.bits, w * 131 + h + d.bits);
                dib::EncodeOptions o = options(d.bits, d.bitfields, topDown);
                if (d.bitfields)
                    o.masks = d.masks;
                std::vector<std::uint8_t> bytes;
                const dib::Image back = roundTrip(src, o, bytes);
                ASSERT_EQ(std::tuple(back.width, back.height, back.bitCount),
                          std::tuple(w, h, d.bits));
                const QImage qt = qtRead(bytes);
                ASSERT_EQ(qt.size(), QSize(w, h));
                // Qt leaves the low bits of a narrow channel empty where we repeat the high ones
                // (so that full intensity is 255): the same within the channel's step. 5 or 6
                // bits a channel come back within their step, every other depth exactly.
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        const std::uint32_t ours = back.pixel(x, y);
                        ASSERT_LE(channelDistance(ours, qt.pixel(x, y)), d.bits == 16 ? 7 : 0)
                            << "at " << x << "," << y;
                        ASSERT_LE(channelDistance(ours, src.pixel(x, y)), d.exact ? 0 : 8);
                        ASSERT_EQ(ours >> 24, 0xFFu);
                    }
                }
            }
        }
    }
    // White in 5-6-5 and 5-5-5 must come back as white, not 0xF8F8F8.
    for (bool bitfields : {false, true}) {
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(roundTrip(solid(3, 2, 0xFFFFFF), options(16, bitfields), bytes).pixel(2, 1),
                  0xFFFFFFFFu);
    }
}

TEST(Dib, PaletteIndexBeyondTheTableReadsBlack)
{
    // 8 bits with a table of two colours, a pixel that points at entry 200.
    std::vector<std::uint8_t> d(40 + 8 + 4, 0);
    for (auto [at, v] : {std::pair{0, 40u}, {4, 2u}, {8, 1u}, {12, 1u | 8u << 16}, {32, 2u}})
        put32(d, at, v);      // size, width, height, planes and bits, colours
    put32(d, 40, 0x00FF0000); // red, as B G R 0
    put32(d, 44, 0x0000FF00); // green
    d[48] = 1;
    d[49] = 200;
    dib::Image img;
    ASSERT_TRUE(dib::decode(d.data(), d.size(), img));
    EXPECT_EQ(img.pixel(0, 0), 0xFF00FF00u);
    EXPECT_EQ(img.pixel(1, 0), 0xFF000000u);
}

TEST(Dib, HostileHeadersAreRefusedWithAReason)
{
    std::vector<std::uint8_t> good;
    ASSERT_TRUE(dib::encode(solid(4, 4, 0x336699), dib::EncodeOptions{}, good));
    struct Case
    {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> spoil;
    };
    const Case cases[] = {
        {"three bytes", [](auto& d) { d.resize(3); }},
        {"OS/2 header", [](auto& d) { put32(d, 0, 12); }},
        {"odd header size", [](auto& d) { put32(d, 0, 20); }},
        {"header past the end", [](auto& d) { d.resize(30); }},
        {"zero width", [](auto& d) { put32(d, 4, 0); }},
        {"negative width", [](auto& d) { put32(d, 4, 0xFFFFFFFF); }},
        {"zero height", [](auto& d) { put32(d, 8, 0); }},
        {"most negative height", [](auto& d) { put32(d, 8, 0x80000000); }},
        {"huge width", [](auto& d) { put32(d, 4, 1000000); }},
        {"huge area", [](auto& d) { put32(d, 4, 16000), put32(d, 8, 16000); }},
        {"two planes", [](auto& d) { put16(d, 12, 2); }},
        {"seven bits", [](auto& d) { put16(d, 14, 7); }},
        {"run-length compression", [](auto& d) { put32(d, 16, 1); }},
        {"masks on 24 bits", [](auto& d) { put32(d, 16, 3); }},
        {"colour table of four billion", [](auto& d) { put32(d, 32, 0xFFFFFFFF); }},
        {"bits cut short", [](auto& d) { d.pop_back(); }},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> d = good;
        c.spoil(d);
        dib::Image img;
        std::string error;
        EXPECT_FALSE(dib::decode(d.data(), d.size(), img, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
    // Masks with holes in them.
    std::vector<std::uint8_t> d;
    ASSERT_TRUE(dib::encode(solid(2, 2, 0x102030), options(32, true), d));
    put32(d, 40, 0x00F0F000);
    dib::Image img;
    EXPECT_FALSE(dib::decode(d.data(), d.size(), img));
}

TEST(Dib, BmpFilesWithBitsFurtherOnAreRead)
{
    const dib::Image src = randomImage(5, 3, 8, 7);
    std::vector<std::uint8_t> packedDib, file;
    ASSERT_TRUE(dib::encode(src, options(8), packedDib));
    ASSERT_TRUE(dib::bmpFileFromPackedDib(packedDib.data(), packedDib.size(), file));
    // The file header: "BM", the whole size, the offset of the bits after the colour table.
    ASSERT_EQ(bytesOf(file).substr(0, 2), "BM");
    EXPECT_EQ(file.size(), 14 + packedDib.size());
    EXPECT_EQ(file[2] | file[3] << 8 | file[4] << 16, int(file.size()));
    EXPECT_EQ(file[10] | file[11] << 8, 14 + 40 + 256 * 4);

    // Sixteen bytes of padding between the table and the bits, as some writers leave.
    std::vector<std::uint8_t> padded(file.begin(), file.begin() + 14 + 40 + 1024);
    padded.insert(padded.end(), 16, 0xAA);
    padded.insert(padded.end(), file.begin() + 14 + 40 + 1024, file.end());
    put32(padded, 10, 14 + 40 + 1024 + 16);
    std::vector<std::uint8_t> again;
    ASSERT_TRUE(dib::packedDibFromBmpFile(padded.data(), padded.size(), again));
    dib::Image back;
    ASSERT_TRUE(dib::decode(again.data(), again.size(), back));
    EXPECT_EQ(back.pixels, src.pixels);

    // Offsets that point outside the file, and files that are not BMP files.
    put32(padded, 10, static_cast<std::uint32_t>(padded.size() + 1));
    EXPECT_FALSE(dib::packedDibFromBmpFile(padded.data(), padded.size(), again));
    put32(padded, 10, 20);
    EXPECT_FALSE(dib::packedDibFromBmpFile(padded.data(), padded.size(), again));
    std::vector<std::uint8_t> png(18, 0);
    std::memcpy(png.data(), "\x89PNG", 4);
    EXPECT_FALSE(dib::packedDibFromBmpFile(png.data(), png.size(), again));
}

TEST(Dib, EncoderRefusesColoursThatDoNotFitTheDepth)
{
    dib::Image img = randomImage(4, 4, 24, 3); // sixteen colours, most likely distinct
    std::vector<std::uint8_t> out;
    std::string error;
    EXPECT_FALSE(dib::encode(img, options(1), out, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(dib::encode(img, options(12), out));
}
