// Video CD images made by vcdimager and vcdxbuild, read through VcdDisc: the description
// against what vcdimager's own vcd-info reports of the same image, the MPEG payload of the
// tracks against the clips the disc was made from (plainly, through the GStreamer source, and
// from the folder of a copied disc), and images damaged in their entries and description.
#include "vcdtest.h"

#include "engines/gstglue.h"
#include "engines/vcddisc.h"
#include "engines/vcdformat.h"
#include "engines/vcdsource.h"

#include <gmock/gmock.h>
#include <gst/app/gstappsink.h>

#include <QDir>

#include <map>
#include <regex>

using namespace engines;
using namespace vcdtest;
using ::testing::HasSubstr;

namespace {

std::string streamBytes(VcdStream& stream)
{
    std::string out(static_cast<size_t>(stream.size()), '\0');
    // Odd-sized reads cross sector boundaries.
    std::int64_t at = 0;
    while (at < stream.size()) {
        const std::int64_t n = stream.read(at, reinterpret_cast<std::uint8_t*>(out.data()) + at,
                                           std::min<std::int64_t>(5000, stream.size() - at));
        if (n <= 0)
            break;
        at += n;
    }
    out.resize(static_cast<size_t>(at));
    return out;
}

std::string peerReport(const std::string& cue)
{
    std::string out;
    run("vcd-info -B -i '" + cue + "'", &out);
    return out;
}

// The text of the section of vcd-info's report that starts with `title` on a line of its own.
std::string section(const std::string& report, const std::string& title)
{
    const size_t at = report.find("\n" + title + "\n");
    if (at == std::string::npos)
        return {};
    const size_t end = report.find("\n-----", at + 1);
    return report.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string field(const std::string& text, const std::string& pattern)
{
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : std::string("?");
}

std::uint16_t peerOffset(const std::string& block, const std::string& label)
{
    std::smatch m;
    if (!std::regex_search(block, m,
                           std::regex(label + ": (disabled|LID\\[\\d+\\] @0x([0-9a-f]{4}))")))
        return 0xEEEE;
    return m[1] == "disabled" ? vcd::kNoOffset
                              : static_cast<std::uint16_t>(std::stoi(m[2], nullptr, 16));
}

std::vector<std::uint16_t> allHex(const std::string& block, const std::string& pattern)
{
    std::vector<std::uint16_t> out;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(block.begin(), block.end(), re);
         it != std::sregex_iterator(); ++it)
        out.push_back(static_cast<std::uint16_t>(std::stoi((*it)[1], nullptr, 16)));
    return out;
}

vcd::Area peerArea(const std::string& text)
{
    std::smatch m;
    if (!std::regex_search(text, m,
                           std::regex("\\[ *(\\d+), *(\\d+)\\] - \\[ *(\\d+), *(\\d+)\\]")))
        return {};
    const auto b = [&](int i) { return static_cast<std::uint8_t>(std::stoi(m[i])); };
    return {b(1), b(2), b(3), b(4)};
}

std::vector<vcd::Area> peerAreas(const std::string& block, const std::string& pattern)
{
    std::vector<vcd::Area> out;
    const std::regex re(pattern + ": (disabled|\\[[^\\]]*\\] - \\[[^\\]]*\\])");
    for (auto it = std::sregex_iterator(block.begin(), block.end(), re);
         it != std::sregex_iterator(); ++it)
        out.push_back((*it)[1] == "disabled" ? vcd::Area{} : peerArea((*it)[1]));
    return out;
}

class VcdDiscTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_menu = menuDisc();
        ASSERT_FALSE(m_menu.empty()) << "vcdxbuild could not make the test disc";
    }
    std::string m_menu;
};

} // namespace

TEST_F(VcdDiscTest, DescriptionAgreesWithVcdInfo)
{
    VcdDisc disc;
    ASSERT_TRUE(disc.open(m_menu)) << disc.failureText();
    VcdDescription d;
    std::string why;
    ASSERT_TRUE(readVcdDescription(disc, d, &why)) << why;
    const std::string report = peerReport(m_menu);
    ASSERT_NE(report.find("VCD 2.0 detected"), std::string::npos) << report;

    const std::string info = section(report, "VCD/INFO.VCD");
    EXPECT_EQ(d.info.albumId, field(info, "album id: `([^']*)'"));
    EXPECT_EQ(std::to_string(d.info.volumeCount), field(info, "volume count: (\\d+)"));
    EXPECT_EQ(std::to_string(d.info.volumeNumber), field(info, "volume number: (\\d+)"));
    EXPECT_EQ(std::to_string(d.info.psdSize), field(info, "psd size: (\\d+)"));
    EXPECT_EQ(d.info.offsetMultiplier,
              std::stoi(field(info, "offset multiplier: 0x([0-9a-f]+)"), nullptr, 16));
    EXPECT_EQ(std::to_string(d.info.listIdCount), field(info, "maximum lid: (\\d+)"));
    EXPECT_EQ(std::to_string(d.info.segmentCount), field(info, "number of segments: (\\d+)"));
    EXPECT_EQ(d.info.extendedPsd() ? "yes" : "no", field(info, "extended pbc: (\\w+)"));

    // vcd-info counts the MPEG tracks from 1 (our track 2) and gives the address as MSF.
    const std::string entries = section(report, "VCD/ENTRIES.VCD");
    EXPECT_EQ(std::to_string(d.entries.count), field(entries, "entries: (\\d+)"));
    const std::regex entryLine(
        "ENTRY\\[(\\d+)\\]: track# +(\\d+) .*MSF (\\d\\d):(\\d\\d):(\\d\\d)");
    size_t seen = 0;
    for (auto it = std::sregex_iterator(entries.begin(), entries.end(), entryLine);
         it != std::sregex_iterator(); ++it, ++seen) {
        const size_t i = std::stoul((*it)[1]);
        ASSERT_LT(i, d.entryTable.size());
        const vcd::EntryRecord& e = d.entryTable[i].record;
        EXPECT_EQ(e.track, std::stoi((*it)[2]) + 1) << i;
        EXPECT_EQ(e.minute, std::stoi((*it)[3])) << i;
        EXPECT_EQ(e.second, std::stoi((*it)[4])) << i;
        EXPECT_EQ(e.frame, std::stoi((*it)[5])) << i;
    }
    EXPECT_EQ(seen, 3u);
    EXPECT_EQ(d.entryTable[1].file, "MPEGAV/AVSEQ01.DAT");
    EXPECT_EQ(d.entryTable[2].file, "MPEGAV/AVSEQ02.DAT");

    // PSD_X.VCD is not the size INFO.VCD gives (that is PSD.VCD's), so it is the one read.
    ASSERT_EQ(d.psdPath, "EXT/PSD_X.VCD");
    const std::string psd = section(report, "EXT/PSD_X.VCD");
    ASSERT_FALSE(psd.empty()) << report;
    const std::regex header(
        "PSD\\[\\d+\\] \\(LID\\[\\d+\\] @0x([0-9a-f]{4})\\): ([a-z ]+) descriptor");
    std::vector<std::pair<size_t, std::smatch>> blocks;
    for (auto it = std::sregex_iterator(psd.begin(), psd.end(), header);
         it != std::sregex_iterator(); ++it)
        blocks.emplace_back(static_cast<size_t>(it->position()), *it);
    ASSERT_EQ(blocks.size(), 4u) << psd;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const size_t end = b + 1 < blocks.size() ? blocks[b + 1].first : psd.size();
        const std::string block = psd.substr(blocks[b].first, end - blocks[b].first);
        const auto offset = static_cast<std::uint16_t>(std::stoi(blocks[b].second[1], nullptr, 16));
        const std::string kind = blocks[b].second[2];
        SCOPED_TRACE(block);
        vcd::Descriptor x;
        ASSERT_TRUE(vcd::parseDescriptor(d.psd, d.psdByteOffset(offset), x, &why)) << why;
        if (kind == "end list") {
            EXPECT_EQ(x.type, vcd::DescriptorType::EndList);
            continue;
        }
        EXPECT_EQ(x.previous, peerOffset(block, "prev"));
        EXPECT_EQ(x.next, peerOffset(block, "next"));
        EXPECT_EQ(x.returnOffset, peerOffset(block, "return"));
        EXPECT_EQ(std::to_string(x.listId & 0x7FFF), field(block, "LID#?: (\\d+)"));
        if (kind == "play list") {
            EXPECT_EQ(x.type, vcd::DescriptorType::PlayList);
            EXPECT_EQ(std::to_string(x.playTime), field(block, "playtime: (\\d+)/15s"));
            EXPECT_EQ(std::to_string(vcd::waitSeconds(x.wait)),
                      field(block, "\\| wait: (-?\\d+)s"));
            EXPECT_EQ(x.items, allHex(block, "play-item\\[\\d+\\]: \\S+ \\(0x([0-9a-f]{4})\\)"));
            continue;
        }
        EXPECT_EQ(kind, "extended selection list");
        EXPECT_EQ(x.type, vcd::DescriptorType::ExtendedSelection);
        EXPECT_EQ(x.defaultOffset, peerOffset(block, "default"));
        EXPECT_EQ(x.timeoutOffset, peerOffset(block, "timeout"));
        EXPECT_EQ(std::to_string(vcd::waitSeconds(x.timeoutTime)),
                  field(block, "wait: (-?\\d+) secs"));
        EXPECT_EQ(std::to_string(x.loopCount()), field(block, "loop: (\\d+)"));
        EXPECT_EQ(std::to_string(x.baseSelection), field(block, "BSN: (\\d+)"));
        EXPECT_EQ(x.playItem, allHex(block, "play-item: \\S+ \\(0x([0-9a-f]{4})\\)").at(0));
        EXPECT_EQ(x.selections, allHex(block, "ofs\\[\\d+\\]: LID\\[\\d+\\] @0x([0-9a-f]{4})"));
        const auto fixed = peerAreas(block, "(?:prev|next|retn|default)_area");
        ASSERT_EQ(fixed.size(), 4u);
        EXPECT_EQ(x.previousArea, fixed[0]);
        EXPECT_EQ(x.nextArea, fixed[1]);
        EXPECT_EQ(x.returnArea, fixed[2]);
        EXPECT_EQ(x.defaultArea, fixed[3]);
        EXPECT_EQ(x.areas, peerAreas(block, "\\barea\\[\\d+\\]"));
    }
}

TEST_F(VcdDiscTest, TracksReadAsTheMpegFilesTheDiscWasMadeFrom)
{
    VcdDisc disc;
    ASSERT_TRUE(disc.open(m_menu)) << disc.failureText();
    EXPECT_EQ(disc.kind(), VcdDisc::Kind::Image);
    const auto files = disc.listFiles("mpegav", ".dat");
    ASSERT_EQ(files, (std::vector<std::string>{"MPEGAV/AVSEQ01.DAT", "MPEGAV/AVSEQ02.DAT"}));
    for (int i = 0; i < 2; ++i) {
        auto stream = disc.openStream(files[static_cast<size_t>(i)]);
        ASSERT_TRUE(stream) << disc.failureText();
        const std::string original = bytesOf(clip(i == 0 ? "one" : "two", 2, 0));
        ASSERT_FALSE(original.empty());
        EXPECT_EQ(stream->size(), static_cast<std::int64_t>(original.size()));
        EXPECT_TRUE(streamBytes(*stream) == original) << files[static_cast<size_t>(i)];
    }
    // A segment reads as its clip too.
    VcdDisc segments;
    ASSERT_TRUE(segments.open(segmentDisc())) << segments.failureText();
    auto segment = segments.openStream("SEGMENT/ITEM0001.DAT");
    ASSERT_TRUE(segment) << segments.failureText();
    EXPECT_TRUE(streamBytes(*segment) == bytesOf(clip("seg", 1, 0)));
    EXPECT_FALSE(disc.openStream("MPEGAV/AVSEQ03.DAT"));
    EXPECT_THAT(disc.failureText(), HasSubstr("AVSEQ03"));
    // Small files are Form 1: read whole, and a limit is kept.
    const auto info = disc.readFile("vcd/info.vcd");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->size(), 2048u);
    EXPECT_EQ(info->substr(0, 8), "VIDEO_CD");
    ASSERT_TRUE(disc.readFile("VCD/INFO.VCD;1", 10));
    EXPECT_EQ(disc.readFile("VCD/INFO.VCD;1", 10)->size(), 10u);
    EXPECT_EQ(disc.fileSize("EXT/PSD_X.VCD"), 96);
}

TEST_F(VcdDiscTest, TheSourceElementFeedsAPipelineTheTrack)
{
    ASSERT_TRUE(ensureGstreamer());
    const std::string uri = vcdSourceUri(m_menu, "MPEGAV/AVSEQ02.DAT");
    std::string drive, file;
    ASSERT_TRUE(parseVcdSourceUri(uri, &drive, &file)) << uri;
    EXPECT_EQ(drive, m_menu);
    EXPECT_EQ(file, "MPEGAV/AVSEQ02.DAT");
    ASSERT_TRUE(parseVcdSourceUri(vcdSourceUri("/a b/c#?%.cue", "MPEGAV/X Y.DAT"), &drive, &file));
    EXPECT_EQ(drive, "/a b/c#?%.cue");
    EXPECT_EQ(file, "MPEGAV/X Y.DAT");
    EXPECT_FALSE(parseVcdSourceUri("file:///a.cue?file=X", &drive, &file));
    EXPECT_FALSE(parseVcdSourceUri("kolvovcd:///a.cue", &drive, &file));

    // Every byte through an appsink, the source found by its URI scheme.
    GError* error = nullptr;
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* src = gst_element_make_from_uri(GST_URI_SRC, uri.c_str(), nullptr, &error);
    ASSERT_TRUE(src) << (error ? error->message : "");
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), src, sink, nullptr);
    ASSERT_TRUE(gst_element_link(src, sink));
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    std::string got;
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        got.append(reinterpret_cast<const char*>(map.data), map.size);
        gst_buffer_unmap(buffer, &map);
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    EXPECT_TRUE(got == bytesOf(clip("two", 2, 0))) << got.size();

    // Decoded by playbin: a 2-second MPEG-1 program stream.
    pipeline = gst_parse_launch(
        ("playbin uri=" + uri + " video-sink=fakesink audio-sink=fakesink").c_str(), &error);
    ASSERT_TRUE(pipeline) << (error ? error->message : "");
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND),
              GST_STATE_CHANGE_SUCCESS);
    gint64 duration = 0;
    ASSERT_TRUE(gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration));
    EXPECT_NEAR(duration / GST_MSECOND, 2000, 100);
    // Seeking in time works through the source: the reader's entry offsets are such seeks.
    ASSERT_TRUE(gst_element_seek_simple(
        pipeline, GST_FORMAT_TIME,
        static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
        1200 * GST_MSECOND));
    ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND),
              GST_STATE_CHANGE_SUCCESS);
    gint64 position = 0;
    ASSERT_TRUE(gst_element_query_position(pipeline, GST_FORMAT_TIME, &position));
    EXPECT_NEAR(position / GST_MSECOND, 1200, 100);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);

    // A file the disc does not have fails the start with a resource error.
    pipeline = gst_parse_launch(("playbin uri=" + vcdSourceUri(m_menu, "MPEGAV/NONE.DAT") +
                                 " video-sink=fakesink audio-sink=fakesink")
                                    .c_str(),
                                &error);
    ASSERT_TRUE(pipeline);
    EXPECT_EQ(gst_element_set_state(pipeline, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

TEST_F(VcdDiscTest, AFolderOfACopiedDiscIsReadThroughPlainFiles)
{
    // The folder holds the description files as the image has them, track 2 as the plain MPEG
    // file under a lower-case name, and track 3 as a RIFF CDXA copy of its raw sectors.
    const std::string dir = folder() + "/copied";
    QDir().mkpath(QString::fromStdString(dir + "/VCD"));
    QDir().mkpath(QString::fromStdString(dir + "/ext"));
    QDir().mkpath(QString::fromStdString(dir + "/MPEGAV"));
    ASSERT_TRUE(
        writeBytes(dir + "/VCD/INFO.VCD", readForm1(m_menu, fileSector(m_menu, "INFO.VCD"))));
    ASSERT_TRUE(
        writeBytes(dir + "/VCD/ENTRIES.VCD", readForm1(m_menu, fileSector(m_menu, "ENTRIES.VCD"))));
    ASSERT_TRUE(writeBytes(dir + "/ext/psd_x.vcd",
                           readForm1(m_menu, fileSector(m_menu, "PSD_X.VCD")).substr(0, 96)));
    ASSERT_TRUE(writeBytes(dir + "/MPEGAV/avseq01.dat", bytesOf(clip("one", 2, 0))));
    const int first = fileSector(m_menu, "AVSEQ02.DAT");
    ASSERT_GT(first, 0);
    const std::string bin = bytesOf(m_menu.substr(0, m_menu.size() - 4) + ".bin");
    std::string riff = "RIFF" + std::string(4, '\x01') + "CDXA" + std::string(32, '\0');
    riff += bin.substr(static_cast<size_t>(first) * 2352, 223 * 2352);
    ASSERT_TRUE(writeBytes(dir + "/MPEGAV/AVSEQ02.DAT", riff));

    VcdDisc disc;
    ASSERT_TRUE(disc.open(dir)) << disc.failureText();
    EXPECT_EQ(disc.kind(), VcdDisc::Kind::Folder);
    VcdDescription d;
    std::string why;
    ASSERT_TRUE(readVcdDescription(disc, d, &why)) << why;
    EXPECT_EQ(d.trackFiles, (std::vector<std::string>{"MPEGAV/avseq01.dat", "MPEGAV/AVSEQ02.DAT"}));
    ASSERT_EQ(d.entryTable.size(), 3u);
    // Without a table of contents a track starts at its first entry.
    EXPECT_EQ(d.entryTable[1].offsetMs, 1520);
    EXPECT_EQ(d.psdPath, "EXT/PSD_X.VCD");
    EXPECT_EQ(d.psd.size(), 96u);
    // The album of .dat files a disc gets when it is not read as a Video CD 2.0.
    EXPECT_EQ(vcdDatLocations(dir + "/"),
              (std::vector<std::string>{dir + "/MPEGAV/avseq01.dat", dir + "/MPEGAV/AVSEQ02.DAT"}));
    EXPECT_EQ(vcdDatLocations(m_menu),
              (std::vector<std::string>{vcdSourceUri(m_menu, "MPEGAV/AVSEQ01.DAT"),
                                        vcdSourceUri(m_menu, "MPEGAV/AVSEQ02.DAT")}));
    EXPECT_TRUE(vcdDatLocations(folder() + "/none.cue").empty());
    auto plain = disc.openStream(d.trackFiles[0]);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(streamBytes(*plain) == bytesOf(clip("one", 2, 0)));
    auto raw = disc.openStream(d.trackFiles[1]);
    ASSERT_TRUE(raw);
    EXPECT_TRUE(streamBytes(*raw) == bytesOf(clip("two", 2, 0))) << raw->size();
}

TEST_F(VcdDiscTest, DamagedDescriptionsAreRefusedWithTheReason)
{
    const int entriesSector = fileSector(m_menu, "ENTRIES.VCD");
    const int infoSector = fileSector(m_menu, "INFO.VCD");
    ASSERT_GT(entriesSector, 0);
    const auto refusal = [](const std::string& cue) {
        VcdDisc disc;
        if (!disc.open(cue))
            return "open: " + disc.failureText();
        VcdDescription d;
        std::string why;
        return readVcdDescription(disc, d, &why) ? std::string("read") : why;
    };

    // The third entry moved to 74:00:00, far past the end of a 16-second disc.
    const std::string late = copyDisc(m_menu, "late-entry");
    ASSERT_TRUE(patchForm1(late, entriesSector, 12 + 2 * 4 + 1, std::string("\x74\x00\x00", 3)));
    EXPECT_THAT(refusal(late),
                HasSubstr("entry 3 (track 3 at 74:00:00) lies past the end of the disc"));

    const std::string noTrack = copyDisc(m_menu, "no-track");
    ASSERT_TRUE(patchForm1(noTrack, entriesSector, 12 + 2 * 4, "\x09"));
    EXPECT_THAT(refusal(noTrack), HasSubstr("leads to a track the disc does not have"));

    // An entry count larger than the file: ENTRIES.VCD is one 2048-byte sector.
    const std::string many = copyDisc(m_menu, "many-entries");
    ASSERT_TRUE(patchForm1(many, entriesSector, 10, std::string("\x02\x00", 2)));
    EXPECT_THAT(refusal(many), HasSubstr("announces 512 entries and holds 509"));

    const std::string super = copyDisc(m_menu, "super");
    ASSERT_TRUE(patchForm1(super, infoSector, 0, "SUPERVCD"));
    EXPECT_THAT(refusal(super), HasSubstr("not a Video CD description"));

    EXPECT_THAT(refusal(folder() + "/nothing.cue"),
                HasSubstr("there is no drive, disc image or folder"));
    EXPECT_EQ(refusal(folder()), "the disc has no VCD/INFO.VCD");
}

TEST_F(VcdDiscTest, ACueSheetNamingADataFileOfAnotherNameReadsTheSame)
{
    // libcdio would read renamed.bin beside the sheet; the sheet names other.bin.
    const std::string renamed = folder() + "/renamed.cue";
    std::string sheet = bytesOf(m_menu);
    ASSERT_TRUE(
        writeBytes(folder() + "/other.bin", bytesOf(m_menu.substr(0, m_menu.size() - 4) + ".bin")));
    ASSERT_TRUE(writeBytes(folder() + "/renamed.bin", std::string(2352 * 20, '\0')));
    sheet = std::regex_replace(sheet, std::regex("FILE \"[^\"]*\""), "FILE \"other.bin\"");
    ASSERT_TRUE(writeBytes(renamed, sheet));

    VcdDisc disc;
    ASSERT_TRUE(disc.open(renamed)) << disc.failureText();
    VcdDescription d;
    std::string why;
    ASSERT_TRUE(readVcdDescription(disc, d, &why)) << why;
    EXPECT_EQ(d.psd.size(), 96u);
    ASSERT_EQ(d.entryTable.size(), 3u);
    EXPECT_EQ(d.entryTable[1].offsetMs, 1520);
    auto stream = disc.openStream("MPEGAV/AVSEQ02.DAT");
    ASSERT_TRUE(stream);
    EXPECT_TRUE(streamBytes(*stream) == bytesOf(clip("two", 2, 0)));

    // A sheet that names a missing file says so.
    sheet = std::regex_replace(sheet, std::regex("other\\.bin"), "gone.bin");
    ASSERT_TRUE(writeBytes(folder() + "/gone.cue", sheet));
    EXPECT_FALSE(disc.open(folder() + "/gone.cue"));
    EXPECT_THAT(disc.failureText(), HasSubstr("names gone.bin, which is missing"));
}
