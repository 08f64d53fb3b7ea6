#pragma once
// Packed device-independent bitmaps: a BITMAPINFOHEADER, an optional colour table (and the three
// colour masks of BI_BITFIELDS), then the pixel rows. Skin files carry their images in this form
// and captured video frames are written as BMP files of it. Our own reader and writer, free of
// any GUI library, so that the fuzzer can drive them alone.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace dib {

// Pixel and byte buffers are filled right after they are made: zeroing them first would only
// cost time (skins are loaded while the user waits).
template <typename T>
struct UninitializedAllocator : std::allocator<T>
{
    using value_type = T;
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept
    {}
    template <typename U>
    struct rebind
    {
        using other = UninitializedAllocator<U>;
    };
    template <typename U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using Pixels = std::vector<std::uint32_t, UninitializedAllocator<std::uint32_t>>;
using Bytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_BITFIELDS = 3;

constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kFileHeaderSize = 14;

// Images larger than this are refused: no skin or captured frame comes near it, and a header
// that claims more is either broken or hostile.
constexpr int kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = std::int64_t(16) << 20;

// A decoded image: rows top-down, each pixel 0xFFRRGGBB.
struct Image
{
    int width = 0;
    int height = 0;
    int bitCount = 0;                      // the depth it was stored with
    Pixels pixels;                         // width * height
    std::vector<std::uint32_t> colorTable; // 0x00RRGGBB entries as stored, for palettes
    std::uint32_t pixel(int x, int y) const
    {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// The header fields a reader needs, with the derived layout.
struct Layout
{
    std::uint32_t headerSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0; // as stored: negative for top-down rows
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::uint64_t tableEntries = 0;       // colour-table entries that precede the bits
    std::uint64_t bitsOffset = 0;         // from the start of the packed DIB
    std::uint64_t stride = 0;             // bytes per row, padded to 4
    std::array<std::uint32_t, 3> masks{}; // red, green, blue (16 and 32 bits)
};

// Reads and checks the header and finds the colour table; the bits are not looked at.
bool readHeader(const std::uint8_t* data, std::size_t size, Layout& out, std::string* error);
// The same, and the bits must all be there; false with a reason when the DIB cannot be decoded.
bool readLayout(const std::uint8_t* data, std::size_t size, Layout& out, std::string* error);

// Decodes 1, 4, 8, 16, 24 and 32 bits per pixel, BI_RGB and BI_BITFIELDS, bottom-up and
// top-down. False with a one-line reason for anything else or anything cut short.
bool decode(const std::uint8_t* data, std::size_t size, Image& out, std::string* error = nullptr);

struct EncodeOptions
{
    int bitCount = 24;      // 1, 4, 8, 16, 24 or 32
    bool bitfields = false; // 16 and 32 bits: write BI_BITFIELDS with the masks below
    bool topDown = false;
    std::array<std::uint32_t, 3> masks{0xF800, 0x07E0, 0x001F};
};

// Writes an image as a packed DIB. For 1, 4 and 8 bits the colours of the image must fit the
// table (the image's own colour table when it has one, else its distinct colours in order of
// appearance); false when they do not or the depth is not one we write.
bool encode(const Image& image, const EncodeOptions& options, std::vector<std::uint8_t>& out,
            std::string* error = nullptr);

// A BMP file is the 14-byte file header followed by the packed DIB.
bool bmpFileFromPackedDib(const std::uint8_t* data, std::size_t size,
                          std::vector<std::uint8_t>& out, std::string* error = nullptr);
// The packed DIB inside a BMP file (the bits taken from where the file header says).
bool packedDibFromBmpFile(const std::uint8_t* data, std::size_t size,
                          std::vector<std::uint8_t>& out, std::string* error = nullptr);

} // namespace dib
