// The length of MPEG video files read from their bytes, against ffprobe's for files ffmpeg makes
// as other programs do (sparse pack headers, MPEG-2 packs, elementary streams); field pictures,
// the scaled count of a long stream, other files and damage on bytes made here.

#include "engines/mpegvideo.h"
#include "enginetest.h"
#include "support/testhome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

using namespace engines;
using enginetest::fixtureDir;
using enginetest::sh;

namespace {

// ffmpeg's test picture, `seconds` long at 25 frames/s, without sound.
std::string makeFilm(const std::string& name, const std::string& codec, const std::string& size,
                     double seconds, const std::string& format, const std::string& extra = "")
{
    const std::string path = fixtureDir() + "/" + name;
    std::ostringstream cmd;
    cmd << "ffmpeg -v error -y -f lavfi -i testsrc=size=" << size << ":rate=25:duration=" << seconds
        << " -c:v " << codec << " -q:v 1 " << extra << " -f " << format << " '" << path << "'";
    EXPECT_TRUE(sh(cmd.str())) << cmd.str();
    return path;
}

std::string output(const std::string& command)
{
    const std::string out = fixtureDir() + "/output.txt";
    return sh(command + " > '" + out + "'") ? readFile(out) : std::string();
}

// ffprobe's length of a program stream: the first picture's time to the last one's end.
long ffprobeLengthMs(const std::string& path)
{
    const std::string text =
        output("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'");
    return text.empty() ? -1 : std::lround(std::atof(text.c_str()) * 1000);
}

// ffprobe's length of an elementary stream, whose duration it only guesses: the pictures it
// reads at the frame rate it reads.
long ffprobeCountedMs(const std::string& path)
{
    const std::string text =
        output("ffprobe -v error -count_frames -select_streams v -show_entries "
               "stream=nb_read_frames,r_frame_rate -of csv=p=0 '" +
               path + "'");
    int num = 0, den = 1;
    long frames = 0;
    if (std::sscanf(text.c_str(), "%d/%d,%ld", &num, &den, &frames) != 3 || num <= 0)
        return -1;
    return std::lround(frames * 1000.0 * den / num);
}

MpegVideoLength lengthOfBytes(const std::string& bytes)
{
    return mpegVideoLength(
        [&](std::uint64_t offset, std::uint8_t* out, std::size_t size) -> std::size_t {
            if (offset >= bytes.size())
                return 0;
            const std::size_t n = std::min<std::size_t>(size, bytes.size() - offset);
            std::memcpy(out, bytes.data() + offset, n);
            return n;
        },
        bytes.size());
}

// A sequence header of 352x288 at 25 frames/s.
const std::string kSequence("\x00\x00\x01\xB3\x16\x01\x20\x13\xFF\xFF\xE0\x18", 12);
const std::string kPicture("\x00\x00\x01\x00\x00\x0F\xFF\xF8", 8);
// A picture coding extension of a top field (structure 1) and of a frame (structure 3).
const std::string kFieldExtension("\x00\x00\x01\xB5\x8F\xFF\xF1\x80\x80", 9);
const std::string kFrameExtension("\x00\x00\x01\xB5\x8F\xFF\xF3\x80\x80", 9);

} // namespace

TEST(MpegVideoLength, ProgramStreamsHaveTheTimesFfprobeReads)
{
    // Every picture an intra picture of a large size: the last pictures span many packets
    // after the last pack header, as in files other programs write.
    const std::string sparse =
        makeFilm("sparse-packs.mpg", "mpeg2video", "600x450", 1, "mpeg", "-g 1");
    const std::string mpeg1 = makeFilm("system.mpg", "mpeg1video", "352x288", 3, "mpeg");
    const std::string vob = makeFilm("packs2.vob", "mpeg2video", "720x576", 2, "vob");
    for (const auto& [path, ms] :
         {std::pair{sparse, 1000L}, std::pair{mpeg1, 3000L}, std::pair{vob, 2000L}}) {
        const MpegVideoLength length = mpegVideoFileLength(path);
        EXPECT_EQ(length.kind, MpegVideoKind::ProgramStream) << path;
        EXPECT_DOUBLE_EQ(length.frameRate, 25) << path;
        EXPECT_EQ(length.ms, ffprobeLengthMs(path)) << path;
        EXPECT_EQ(length.ms, ms) << path;
    }
}

TEST(MpegVideoLength, ElementaryStreamsCountTheirPictures)
{
    const std::string mpeg1 = makeFilm("elementary.mpv", "mpeg1video", "384x288", 4, "mpeg1video");
    const std::string mpeg2 =
        makeFilm("elementary.m2v", "mpeg2video", "720x576", 2.4, "mpeg2video", "-r 30000/1001");
    for (const auto& [path, ms] : {std::pair{mpeg1, 4000L}, std::pair{mpeg2, 2402L}}) {
        const MpegVideoLength length = mpegVideoFileLength(path);
        EXPECT_EQ(length.kind, MpegVideoKind::ElementaryStream) << path;
        EXPECT_EQ(length.ms, ffprobeCountedMs(path)) << path;
        EXPECT_NEAR(length.ms, ms, 1) << path;
    }

    // Field pictures are half a frame each: four fields and a frame are three frames.
    std::string fields = kSequence;
    for (int i = 0; i < 4; ++i)
        fields += kPicture + kFieldExtension;
    fields += kPicture + kFrameExtension;
    const MpegVideoLength counted = lengthOfBytes(fields);
    EXPECT_EQ(counted.kind, MpegVideoKind::ElementaryStream);
    EXPECT_EQ(counted.ms, 120);

    // A stream over 64 MB is counted in its first 16 MB and scaled: here a picture every 1000
    // bytes of 80 MB at 25 frames/s.
    constexpr std::uint64_t kSize = 80ull << 20;
    std::string block = kPicture;
    block.resize(1000, '\x55');
    const MpegVideoLength scaled = mpegVideoLength(
        [&](std::uint64_t offset, std::uint8_t* out, std::size_t size) -> std::size_t {
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(size, offset < kSize ? kSize - offset : 0));
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint64_t at = offset + i;
                out[i] = at < kSequence.size()
                             ? static_cast<std::uint8_t>(kSequence[at])
                             : static_cast<std::uint8_t>(block[(at - kSequence.size()) % 1000]);
            }
            return n;
        },
        kSize);
    EXPECT_NEAR(static_cast<double>(scaled.ms), kSize / 1000.0 * 40, kSize / 1000.0 * 40 * 0.001);
}

TEST(MpegVideoLength, OtherFilesAndDamageGiveNoneOrLess)
{
    // An AVI, sound, bytes of nothing, a missing file.
    const std::string avi = makeFilm("other.avi", "mpeg4", "320x240", 1, "avi");
    EXPECT_EQ(mpegVideoFileLength(avi).kind, MpegVideoKind::None);
    EXPECT_EQ(mpegVideoFileLength(avi).ms, 0);
    EXPECT_EQ(lengthOfBytes(std::string(4096, '\0')).kind, MpegVideoKind::None);
    EXPECT_EQ(lengthOfBytes("").ms, 0);
    EXPECT_EQ(mpegVideoFileLength(fixtureDir() + "/missing.mpg").kind, MpegVideoKind::None);

    const std::string whole = readFile(makeFilm("whole.mpg", "mpeg1video", "352x288", 3, "mpeg"));
    ASSERT_GT(whole.size(), 100000u);
    // Cut short: the length of what is left.
    const MpegVideoLength half = lengthOfBytes(whole.substr(0, whole.size() / 2));
    EXPECT_EQ(half.kind, MpegVideoKind::ProgramStream);
    EXPECT_GT(half.ms, 500);
    EXPECT_LT(half.ms, 2600);
    // A header alone.
    EXPECT_EQ(lengthOfBytes(kSequence).ms, 0);
}
