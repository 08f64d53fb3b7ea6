// Skin files come from anywhere: whatever the bytes, reading one must end without a crash,
// what it yields must hang together, and a bitmap that decodes must survive being written and
// read again. The same bytes are also tried as a packed DIB and as a BMP file.
#include "ui/dib.h"
#include "ui/skinfile.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void checkImage(const dib::Image& img)
{
    if (img.width <= 0 || img.height <= 0 || img.width > dib::kMaxSide ||
        img.height > dib::kMaxSide ||
        img.pixels.size() != static_cast<size_t>(img.width) * static_cast<size_t>(img.height))
        std::abort();
    if (img.colorTable.size() > 256)
        std::abort();
}

// Small images are written out at 24 and 32 bits and must come back pixel for pixel.
void roundTrip(const dib::Image& img)
{
    if (static_cast<size_t>(img.width) * img.height > (1u << 14))
        return;
    for (int bits : {24, 32}) {
        dib::EncodeOptions o;
        o.bitCount = bits;
        o.topDown = (img.width & 1) != 0;
        std::vector<std::uint8_t> out;
        if (!dib::encode(img, o, out))
            std::abort();
        dib::Image back;
        if (!dib::decode(out.data(), out.size(), back) || back.pixels != img.pixels)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    uib::MemorySource source(data, size);
    const uib::ReadResult r = uib::readSkin(source);
    if (r.visited < 0 || r.visited > uib::kSlotCount)
        std::abort();
    for (int i = 0; i < uib::kSlotCount; ++i) {
        if (r.fallback && r.images[i])
            std::abort(); // a file that falls back keeps nothing
        if (r.images[i])
            checkImage(*r.images[i]);
        if (r.doubleImages[i] &&
            (!r.images[i] || r.doubleImages[i]->width != 2 * r.images[i]->width))
            std::abort();
    }

    dib::Image img;
    if (dib::decode(data, size, img)) {
        checkImage(img);
        roundTrip(img);
    }
    std::vector<std::uint8_t> packed;
    if (dib::packedDibFromBmpFile(data, size, packed)) {
        dib::Image fromFile;
        if (dib::decode(packed.data(), packed.size(), fromFile))
            checkImage(fromFile);
    }
    return 0;
}
