// Skin files come from anywhere: whatever the bytes, reading one must end without a crash,
// what it yields must hang together, and a bitmap that decodes must survive being written and
// read again. The same bytes are also tried as a packed DIB and as a BMP file.
#include "fuzzcheck.h"
#include "ui/dib.h"
#include "ui/skinfile.h"

static void checkImage(const dib::Image& img)
{
    FUZZ_CHECK(img.width > 0 && img.height > 0 && img.width <= dib::kMaxSide &&
               img.height <= dib::kMaxSide && img.colorTable.size() <= 256 &&
               img.pixels.size() ==
                   static_cast<size_t>(img.width) * static_cast<size_t>(img.height));
}

// Small images are written out at 24 and 32 bits and must come back pixel for pixel.
static void roundTrip(const dib::Image& img)
{
    if (static_cast<size_t>(img.width) * img.height > (1u << 14))
        return;
    for (int bits : {24, 32}) {
        dib::EncodeOptions o;
        o.bitCount = bits;
        o.topDown = (img.width & 1) != 0;
        std::vector<std::uint8_t> out;
        dib::Image back;
        FUZZ_CHECK(dib::encode(img, o, out));
        FUZZ_CHECK(dib::decode(out.data(), out.size(), back) && back.pixels == img.pixels);
    }
}

FUZZ_TARGET
{
    uib::MemorySource source(data, size);
    const uib::ReadResult r = uib::readSkin(source);
    FUZZ_CHECK(r.visited >= 0 && r.visited <= uib::kSlotCount);
    for (int i = 0; i < uib::kSlotCount; ++i) {
        FUZZ_CHECK(!r.fallback || !r.images[i]); // a file that falls back keeps nothing
        if (r.images[i])
            checkImage(*r.images[i]);
        FUZZ_CHECK(!r.doubleImages[i] ||
                   (r.images[i] && r.doubleImages[i]->width == 2 * r.images[i]->width));
    }

    dib::Image img, fromFile;
    if (dib::decode(data, size, img)) {
        checkImage(img);
        roundTrip(img);
    }
    std::vector<std::uint8_t> packed;
    if (dib::packedDibFromBmpFile(data, size, packed) &&
        dib::decode(packed.data(), packed.size(), fromFile))
        checkImage(fromFile);
}
