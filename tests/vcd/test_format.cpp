// The description-file readers on bytes made here: what they take from each field, and how
// they refuse short, wrong and truncated files.
#include "engines/vcdformat.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace engines::vcd;

namespace {

std::string be16(int v)
{
    return {static_cast<char>(v >> 8 & 0xFF), static_cast<char>(v & 0xFF)};
}

std::string infoBytes(const std::string& id = "VIDEO_CD", int version = 2, int profile = 0)
{
    std::string b = id;
    b += static_cast<char>(version);
    b += static_cast<char>(profile);
    b += std::string("MY ALBUM") + std::string(8, ' '); // 16 bytes of album id
    b += be16(2) + be16(1);                             // volume count, number
    b += std::string(13, '\0');                         // PAL flags
    b += '\x80';                                        // flags: extended PSD
    b += std::string("\x00\x01\x02\x03", 4);            // PSD size 0x10203
    b += std::string(3, '\0');                          // first segment
    b += '\x08';                                        // offset multiplier
    b += be16(0x1234) + be16(7);                        // list ids, segments
    return b;
}

} // namespace

TEST(VcdFormat, InfoFieldsAreReadBigEndianAndIdVersionProfileAreChecked)
{
    Info info;
    std::string why;
    ASSERT_TRUE(parseInfo(infoBytes(), info, &why)) << why;
    EXPECT_EQ(std::tuple(info.albumId, info.volumeCount, info.volumeNumber, info.extendedPsd(),
                         info.psdSize, info.offsetMultiplier, info.listIdCount, info.segmentCount),
              std::tuple("MY ALBUM", 2, 1, true, 0x10203u, 8, 0x1234, 7));

    EXPECT_FALSE(parseInfo(infoBytes().substr(0, 55), info, &why));
    EXPECT_NE(why.find("fewer than 56"), std::string::npos) << why;
    EXPECT_FALSE(parseInfo(infoBytes("SUPERVCD"), info, &why));
    EXPECT_NE(why.find("VIDEO_CD"), std::string::npos) << why;
    EXPECT_FALSE(parseInfo(infoBytes("VIDEO_CD", 1), info, &why));
    EXPECT_FALSE(parseInfo(infoBytes("VIDEO_CD", 2, 1), info, &why));
    EXPECT_NE(why.find("profile 1"), std::string::npos) << why;
}

TEST(VcdFormat, EntriesAreBcdAndMustAllBeThere)
{
    std::string b = std::string("ENTRYVCD") + '\x02' + '\x00' + be16(2);
    b += std::string("\x02\x00\x08\x00", 4); // track 2 at 00:08:00
    b += std::string("\x03\x12\x59\x74", 4); // track 3 at 12:59:74
    Entries e;
    std::string why;
    ASSERT_TRUE(parseEntries(b, e, &why)) << why;
    ASSERT_EQ(e.entries.size(), 2u);
    EXPECT_EQ(std::tuple(e.entries[0].track, e.entries[0].msfFrames(), e.entries[0].ms()),
              std::tuple(2, 8 * 75, 8000));
    const EntryRecord& late = e.entries[1];
    EXPECT_EQ(std::tuple(late.minute, late.second, late.frame, late.ms()),
              std::tuple(12, 59, 74, (12 * 60 + 59) * 1000 + 74 * 1000 / 75));

    // One entry missing from the file.
    EXPECT_FALSE(parseEntries(b.substr(0, b.size() - 1), e, &why));
    EXPECT_NE(why.find("announces 2 entries and holds 1"), std::string::npos) << why;
    EXPECT_EQ(e.entries.size(), 1u);
    EXPECT_FALSE(parseEntries(b.substr(0, 11), e, &why));
}

TEST(VcdFormat, DescriptorsOfEachKindAndTheirBounds)
{
    // A play list of two items at byte 8, a selection list at 24, an extended one at 56, an
    // end list at 104.
    std::string psd(8, '\0');
    psd += std::string("\x10\x02", 2) + be16(2) + be16(0xFFFF) + be16(3) + be16(0) + be16(45) +
           '\x05' + '\x00' + be16(2) + be16(101);
    ASSERT_EQ(psd.size(), 26u);
    psd.resize(32, '\0');
    psd += std::string("\x18\x00\x02\x03", 4) + be16(0x8001) + be16(1) + be16(2) + be16(3) +
           be16(0xFFFE) + be16(0xFFFF) + '\xFF' + '\x83' + be16(1000) + be16(4) + be16(5);
    psd.resize(64, '\0');
    psd += std::string("\x1A\x00\x01\x01", 4) + be16(3) + be16(1) + be16(2) + be16(3) + be16(4) +
           be16(5) + '\x3D' + '\x00' + be16(3) + be16(6);
    psd += std::string("\x00\x00\x00\x00\x01\x02\x03\x04\x00\x00\x00\x00\x00\x00\x00\x00", 16);
    psd += std::string("\x0A\x0B\x0C\x0D", 4);
    const size_t endAt = psd.size();
    psd += '\x1F';

    Descriptor d;
    std::string why;
    ASSERT_TRUE(parseDescriptor(psd, 8, d, &why)) << why;
    EXPECT_EQ(std::tuple(d.type, d.previous, d.next, d.playTimeMs(), d.wait, d.items),
              std::tuple(DescriptorType::PlayList, kNoOffset, 3, 3000, 5,
                         std::vector<std::uint16_t>{2, 101}));

    ASSERT_TRUE(parseDescriptor(psd, 32, d, &why)) << why;
    EXPECT_EQ(std::tuple(d.type, d.baseSelection, d.listId, d.defaultOffset, d.timeoutOffset,
                         waitSeconds(d.timeoutTime), d.loopCount(), d.loop & 0x80, d.playItem),
              std::tuple(DescriptorType::Selection, 3, 0x8001, kMultiDefault, kNoOffset, -1, 3,
                         0x80, 1000));
    EXPECT_EQ(d.selections, (std::vector<std::uint16_t>{4, 5}));
    EXPECT_TRUE(d.areas.empty());

    ASSERT_TRUE(parseDescriptor(psd, 64, d, &why)) << why;
    EXPECT_EQ(d.type, DescriptorType::ExtendedSelection);
    EXPECT_FALSE(d.previousArea.present());
    EXPECT_EQ(d.nextArea, (Area{1, 2, 3, 4}));
    ASSERT_EQ(d.areas.size(), 1u);
    EXPECT_EQ(d.areas[0], (Area{10, 11, 12, 13}));
    EXPECT_EQ(waitSeconds(d.timeoutTime), 70);

    ASSERT_TRUE(parseDescriptor(psd, static_cast<std::uint32_t>(endAt), d, &why));
    EXPECT_EQ(d.type, DescriptorType::EndList);

    // Beyond the file, into the padding (type 0), and cut short.
    EXPECT_FALSE(parseDescriptor(psd, static_cast<std::uint32_t>(psd.size()), d, &why));
    EXPECT_NE(why.find("beyond the end"), std::string::npos) << why;
    EXPECT_FALSE(parseDescriptor(psd, 0, d, &why));
    EXPECT_NE(why.find("unknown type 0x00"), std::string::npos) << why;
    EXPECT_FALSE(parseDescriptor(psd.substr(0, 25), 8, d, &why));
    EXPECT_NE(why.find("needs 18 bytes"), std::string::npos) << why;
    EXPECT_FALSE(parseDescriptor(psd.substr(0, endAt - 1), 64, d, &why));
}

TEST(VcdFormat, WaitTimesAndItemClasses)
{
    for (const auto& [raw, seconds] :
         {std::pair{0, 0}, {1, 1}, {60, 60}, {61, 70}, {254, 2000}, {255, -1}})
        EXPECT_EQ(waitSeconds(static_cast<std::uint8_t>(raw)), seconds) << raw;
    using enum ItemClass;
    for (const auto& [item, kind] : {std::pair{1, None},
                                     {2, Track},
                                     {99, Track},
                                     {100, Entry},
                                     {599, Entry},
                                     {600, None},
                                     {999, None},
                                     {1000, Segment},
                                     {2979, Segment},
                                     {2980, None}})
        EXPECT_EQ(itemClass(item), kind) << item;
    EXPECT_EQ(itemText(101), "101 (entry 2)");
    EXPECT_EQ(itemText(1000), "1000 (segment 1)");
}
