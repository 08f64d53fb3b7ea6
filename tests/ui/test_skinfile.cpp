// Skin files: the reader's rules, the program's fallback to its built-in look, hostile files,
// and the list of skins offered to the user.
#include "uitest.h"

#include "platform/strings.h"
#include "support/testhome.h"
#include "ui/skin.h"
#include "ui/skinbitmap.h"
#include "ui/skinfile.h"
#include "ui/skinslots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace std::string_literals;

namespace {

const std::array<std::vector<std::uint8_t>, uib::kSlotCount> kNone{};

std::vector<std::uint8_t> testSkin()
{
    return uib::writeSkin("Test", solidSlots(), kNone);
}

uib::ReadResult readBytes(const std::vector<std::uint8_t>& file)
{
    uib::MemorySource source(file.data(), file.size());
    return uib::readSkin(source);
}

// Whether a loaded slot shows the built-in image, or the test skin's colour.
bool isBuiltin(int slot)
{
    const QImage builtin =
        builtinImage(skin::kSlots[slot].resourceId).convertToFormat(QImage::Format_RGB32);
    return Skin::instance().Slot(slot).image() == builtin;
}

bool isTestColour(int slot)
{
    const QImage& img = Skin::instance().Slot(slot).image();
    return !img.isNull() &&
           (img.pixel(img.width() / 2, img.height() / 2) & 0xFFFFFF) == testColor(slot);
}

// Where each slot of the loaded skin comes from: B the built-in look, T the test skin's colour,
// - nothing, ? anything else.
std::string looks()
{
    std::string s;
    for (int i = 0; i < skin::kSlotCount; ++i)
        s += isBuiltin(i)                           ? 'B'
             : isTestColour(i)                      ? 'T'
             : !Skin::instance().Slot(i).isLoaded() ? '-'
                                                    : '?';
    return s;
}

// Which slots a read gave an image: 1 for each that did.
std::string imagesOf(const uib::ReadResult& r)
{
    std::string s;
    for (const auto& img : r.images)
        s += img ? '1' : '0';
    return s;
}

class SkinFiles : public KolvoHomeTest
{
protected:
    void TearDown() override
    {
        Skin::instance().LoadSkin(std::string());
        KolvoHomeTest::TearDown();
    }
    std::string install(const std::string& name, const std::vector<std::uint8_t>& file)
    {
        return writeFile("data/uib/" + name, bytesOf(file));
    }
};

} // namespace

TEST(SkinFile, WrittenFilesReadBackSlotForSlot)
{
    auto images = solidSlots();
    images[7].clear(); // absent
    std::array<std::vector<std::uint8_t>, uib::kSlotCount> doubles{};
    doubles[0] = packed(solid(1000, 100, 0x445566));
    doubles[1] = packed(solid(30, 30, 0x445566)); // not twice slot 1: ignored
    const auto file = uib::writeSkin("Dawn Chorus", images, doubles);

    uib::Header h;
    ASSERT_TRUE(uib::parseHeader(file.data(), file.size(), h));
    EXPECT_TRUE(h.accepted());
    EXPECT_EQ(std::tuple(h.displayName, h.major, h.minor), std::tuple("Dawn Chorus", 4, 0));
    // The first DIB sits right after the 1368-byte header.
    EXPECT_EQ(std::pair(h.entries[0].offset, h.entries[0].size),
              std::pair(std::uint32_t(uib::kHeaderSize), std::uint32_t(images[0].size())));
    EXPECT_FALSE(h.entries[7].present());

    const uib::ReadResult r = readBytes(file);
    EXPECT_EQ(std::tuple(r.stoppedAt, r.visited, r.fallback), std::tuple(-1, 28, false));
    EXPECT_EQ(imagesOf(r), "1111111011111111111111111111");
    for (int i = 0; i < uib::kSlotCount; ++i) {
        if (r.images[i]) {
            EXPECT_EQ(r.images[i]->width, skin::kSlots[i].width);
            EXPECT_EQ(r.images[i]->pixel(1, 1) & 0xFFFFFF, testColor(i));
        }
    }
    ASSERT_TRUE(r.doubleImages[0]);
    EXPECT_EQ(r.doubleImages[0]->width, 1000);
    EXPECT_FALSE(r.doubleImages[1]);
}

TEST(SkinFile, ReadingStopsAtTheFirstSlotWhoseDataCannotBeHad)
{
    // Slot 5 claims more bytes than the file holds: images 0-4 were visited.
    auto file = testSkin();
    setEntry(file, 5, entryOf(file, 5).offset, 0x7FFFFFF0);
    uib::ReadResult r = readBytes(file);
    EXPECT_EQ(std::tuple(r.stoppedAt, r.visited, r.fallback), std::tuple(5, 5, false));
    EXPECT_EQ(imagesOf(r), "11111" + std::string(23, '0'));

    // Slot 2 points past the end: only two visited, the whole file falls back.
    file = testSkin();
    setEntry(file, 2, static_cast<std::uint32_t>(file.size() + 10), 100);
    r = readBytes(file);
    EXPECT_EQ(std::tuple(r.stoppedAt, r.visited, r.fallback), std::tuple(2, 2, true));
    EXPECT_EQ(imagesOf(r), std::string(28, '0'));

    // A slot whose bytes are there but are no bitmap stays empty; the loop goes on.
    file = testSkin();
    const uib::Entry e = entryOf(file, 4);
    file[e.offset + 4] = 0xFF; // width 255 + ..., beyond the data
    file[e.offset + 7] = 0x7F;
    r = readBytes(file);
    EXPECT_FALSE(r.fallback);
    EXPECT_EQ(imagesOf(r), "1111011111111111111111111111");
    EXPECT_FALSE(r.problems[4].empty());
}

TEST(SkinFile, HostileFilesAreRefusedWithoutACrash)
{
    const auto good = testSkin();
    // Header cut short.
    std::vector<std::uint8_t> file(good.begin(), good.begin() + uib::kHeaderSize - 1);
    EXPECT_FALSE(readBytes(file).headerRead);
    // Not a skin.
    file = good;
    file[0] = 'X';
    EXPECT_FALSE(readBytes(file).header.accepted());
    // Every entry huge, or at offsets with the top bit set.
    file = good;
    for (int i = 0; i < uib::kSlotCount; ++i)
        setEntry(file, i, 0xFFFFFFF0u, 0xFFFFFFFFu);
    EXPECT_TRUE(readBytes(file).fallback);
    // A DIB of impossible dimensions (2^30 x 2^30) in slot 0: it fails to decode and the
    // loop goes on.
    file = good;
    const uib::Entry e = entryOf(file, 0);
    for (int i = 0; i < 4; ++i) {
        file[e.offset + 4 + i] = i == 3 ? 0x40 : 0;
        file[e.offset + 8 + i] = i == 3 ? 0x40 : 0;
    }
    const uib::ReadResult r = readBytes(file);
    EXPECT_FALSE(r.images[0]);
    EXPECT_FALSE(r.fallback);
    // A double-resolution table pointing anywhere never matters.
    file = good;
    std::memcpy(file.data() + uib::kDoubleTableOffset, "KX2\0", 4);
    for (int i = 0; i < 4 + 8 * uib::kSlotCount; ++i)
        file[uib::kDoubleTableOffset + 4 + i] = 0xEE;
    const uib::ReadResult d = readBytes(file);
    EXPECT_FALSE(d.fallback);
    for (const auto& img : d.doubleImages)
        EXPECT_FALSE(img);
}

// What the program takes of files it refuses, cuts short or finds with holes: the built-in look
// for all of a refused file or one cut before its third slot; what was read of one cut later,
// the slider slots filled from the built-in look; an absent face slot stays empty.
TEST_F(SkinFiles, EachFileGivesItsSlotsOrTheBuiltinLook)
{
    const std::string builtin(skin::kSlotCount, 'B'), tested(skin::kSlotCount, 'T');
    const auto entry = [](int slot) { return entryOf(testSkin(), slot); };
    std::vector<std::uint8_t> newer = testSkin(), holes = testSkin(), cutInOne = testSkin(),
                              cutAfterThree = testSkin();
    setVersion(newer, 4, 1);
    setEntry(holes, skin::kVolumeThumb, entry(skin::kVolumeThumb).offset, 0);
    setEntry(holes, skin::kFace18Up, entry(skin::kFace18Up).offset, 0);
    std::string holesLook = tested;
    holesLook[skin::kVolumeThumb] = 'B';
    holesLook[skin::kFace18Up] = '-';
    cutInOne.resize(entry(1).offset + entry(1).size / 2); // slot 0 whole, and still refused
    cutAfterThree.resize(entry(3).offset + 2);
    const struct
    {
        const char* file;
        std::vector<std::uint8_t> bytes;
        const char* load;
        std::string look;
    } cases[] = {
        {"Newer.uib", newer, "Newer.uib", builtin},
        {"Newer.uib", testSkin(), "Newer.uib", tested}, // the same file at 4.0
        {"Holes.uib", holes, "Holes.uib", holesLook},
        {"Cut.uib", cutInOne, "Cut.uib", builtin},
        {"Short.uib", cutAfterThree, "Short.uib",
         "TTT" + std::string(skin::kFirstSliderSlot - 3, '-') +
             std::string(skin::kSlotCount - skin::kFirstSliderSlot, 'B')},
        {nullptr, {}, "NoSuchSkin.uib", builtin},
        // Names are matched without regard to case when nothing matches exactly.
        {"Mixed.uib", testSkin(), "mixed.UIB", tested},
        {nullptr, {}, "", builtin},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.load);
        if (c.file)
            install(c.file, c.bytes);
        Skin::instance().LoadSkin(c.load);
        EXPECT_EQ(Skin::instance().usingBuiltin(), c.look == builtin);
        EXPECT_EQ(looks(), c.look);
    }
}

TEST_F(SkinFiles, DoubleResolutionImagesComeWithTheirSlots)
{
    auto images = solidSlots();
    std::array<std::vector<std::uint8_t>, uib::kSlotCount> doubles{};
    doubles[skin::kFace18Up] = packed(solid(36, 36, 0xABCDEF));
    install("Sharp.uib", uib::writeSkin("Sharp", images, doubles));
    Skin::instance().LoadSkin("Sharp.uib");
    const SkinBitmap& face = Skin::instance().Slot(skin::kFace18Up);
    ASSERT_FALSE(face.doubleImage().isNull());
    EXPECT_EQ(face.doubleImage().size(), QSize(36, 36));
    EXPECT_TRUE(Skin::instance().Slot(skin::kFace18Down).doubleImage().isNull());
}

TEST_F(SkinFiles, ListOffersTheOriginalColourThenEveryAcceptedFile)
{
    install("Alpha.uib", uib::writeSkin("Alpha", solidSlots(), kNone));
    auto newer = testSkin();
    setVersion(newer, 4, 1);
    install("Beta.uib", newer);
    writeFile("data/uib/Gamma.uib", "not a skin at all");
    // A legacy display name (CP1252 bytes).
    install("Delta.uib", uib::writeSkin("Caf\xe9", solidSlots(), kNone));

    int selected = -1;
    auto list = Skin::ListSkins("Alpha.uib", &selected);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(std::pair(list[0].displayName, list[0].fileName), std::pair(LoadString(3000), ""s));
    const auto find = [&list](const std::string& file) {
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].fileName == file)
                return static_cast<int>(i);
        return -1;
    };
    // The names offered for these files, "-" for a file not offered.
    const auto names = [&](std::initializer_list<std::string> files) {
        std::vector<std::string> out;
        for (const std::string& file : files)
            out.push_back(find(file) < 0 ? "-" : list[find(file)].displayName);
        return out;
    };
    EXPECT_EQ(names({"Alpha.uib", "Beta.uib", "Gamma.uib", "Delta.uib"}),
              (std::vector<std::string>{"Alpha", "-", "-", "Caf\u00e9"}));
    EXPECT_EQ(selected, find("Alpha.uib"));
    // The skins the program ships come after the user's own.
    EXPECT_GT(find("GoldEn.uib"), find("Alpha.uib"));
    EXPECT_GE(find("Nightfall.uib"), 0);
    for (const char* gone : {"", "Vanished.uib"}) {
        Skin::ListSkins(gone, &selected);
        EXPECT_EQ(selected, 0) << gone;
    }

    // Two files of one display name are told apart by their file names; a name of its own
    // stays as it is.
    install("Twin1.uib", uib::writeSkin("Twin", solidSlots(), kNone));
    install("Twin2.uib", uib::writeSkin("Twin", solidSlots(), kNone));
    list = Skin::ListSkins("Twin2.uib", &selected);
    EXPECT_EQ(names({"Twin1.uib", "Twin2.uib", "Alpha.uib"}),
              (std::vector<std::string>{"Twin (Twin1.uib)", "Twin (Twin2.uib)", "Alpha"}));
    EXPECT_EQ(selected, find("Twin2.uib"));

    // A user's file of the same name as an installed one hides it.
    install("GoldEn.uib", uib::writeSkin("My Gold", solidSlots(), kNone));
    list = Skin::ListSkins("GoldEn.uib", &selected);
    EXPECT_EQ(std::count_if(list.begin(), list.end(),
                            [](const auto& c) { return c.fileName == "GoldEn.uib"; }),
              1);
    EXPECT_EQ(list[selected].displayName, "My Gold");
}

TEST(SkinFile, SourcesThatOnlyReadGiveTheSameResultAsMappedOnes)
{
    // A file that cannot be mapped is read slot by slot into one buffer.
    class ReadOnly : public uib::MemorySource
    {
    public:
        using uib::MemorySource::MemorySource;
        const std::uint8_t* view() const override { return nullptr; }
    };
    auto file = testSkin();
    setEntry(file, 6, entryOf(file, 6).offset, 0x7FFFFFF0); // stops at slot 6
    ReadOnly reader(file.data(), file.size());
    const uib::ReadResult a = uib::readSkin(reader);
    const uib::ReadResult b = readBytes(file);
    EXPECT_EQ(a.visited, b.visited);
    EXPECT_EQ(a.stoppedAt, 6);
    for (int i = 0; i < uib::kSlotCount; ++i) {
        ASSERT_EQ(bool(a.images[i]), bool(b.images[i])) << i;
        if (a.images[i]) {
            EXPECT_EQ(a.images[i]->pixels, b.images[i]->pixels) << i;
        }
    }
}
