// kolvo-cli vcd info as its own process: the lines it prints for generated discs, and what it
// says of damaged ones (without hanging: every run has a deadline).
#include "vcdtest.h"

#include "support/clirun.h"

#include <gmock/gmock.h>

using namespace vcdtest;
using ::testing::HasSubstr;

namespace {

class VcdCli : public KolvoCliTest
{
protected:
    static ProcessResult info(const std::string& drive) { return run({"vcd", "info", q(drive)}); }
};

} // namespace

TEST_F(VcdCli, InfoPrintsTheDescriptionOneLinePerItem)
{
    const std::string menu = menuDisc();
    ASSERT_FALSE(menu.empty());
    ProcessResult r = info(menu);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "disc: " + menu + " (disc image)");
    EXPECT_EQ(
        r.out.substr(r.out.find('\n') + 1),
        "info: VIDEO_CD version 2 profile 0, album \"KOLVOTEST\", volume 1 of 1, flags 0x80 "
        "(extended play sequence), psd size 72, offset multiplier 8, list ids 4, segments 0\n"
        "track 2: MPEGAV/AVSEQ01.DAT, starts 00:08:00, 4973 ms\n"
        "track 3: MPEGAV/AVSEQ02.DAT, starts 00:12:73, 4973 ms\n"
        "entry 1 (item 100): track 2 at 00:08:00, 0 ms into MPEGAV/AVSEQ01.DAT\n"
        "entry 2 (item 101): track 2 at 00:09:39, 1520 ms into MPEGAV/AVSEQ01.DAT\n"
        "entry 3 (item 102): track 3 at 00:12:73, 0 ms into MPEGAV/AVSEQ02.DAT\n"
        "play sequence: EXT/PSD_X.VCD, 96 bytes\n"
        "list at 0x0000 (byte 0): extended selection list, list 1, flags 0x00, base 1, previous "
        "none, next 0x0006, return 0x000B, default 0x0009, time-out 0x0009 after 5 s, loop 3, "
        "item 3 (track 3), selections 0x0006 0x0009, areas previous none next 10,20-30,40 return "
        "none default none 1 1,2-100,120 2 130,2-250,120\n"
        "list at 0x0006 (byte 48): play list, list 2, previous 0x0000, next 0x0009, return "
        "0x0000, play time 45/15 s, wait 5 s, auto-pause wait 0 s, items 2 (track 2) 101 (entry "
        "2) 3 (track 3)\n"
        "list at 0x0009 (byte 72): play list, list 3, previous 0x0006, next none, return 0x0000, "
        "play time 0/15 s, wait for ever, auto-pause wait 0 s, items 3 (track 3)\n"
        "list at 0x000B (byte 88): end list\n");

    const std::string tracks = trackModeDisc();
    r = info(tracks);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("psd size 0, offset multiplier 0"));
    EXPECT_THAT(r.out, HasSubstr("\nplay sequence: none (the entries play as tracks)\n"));
}

TEST_F(VcdCli, DamagedDiscsAreReportedNotFollowed)
{
    const std::string menu = menuDisc();
    ASSERT_FALSE(menu.empty());
    const int psd = fileSector(menu, "PSD_X.VCD");

    // A link beyond the play-sequence file: the rest is printed, then the reason.
    const std::string beyond = copyDisc(menu, "cli-beyond");
    ASSERT_TRUE(patchForm1(beyond, psd, 48 + 6, "\x0F\xFF"));
    ProcessResult r = info(beyond);
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.out,
                HasSubstr("list at 0x0FFF (byte 32760): cannot be read: the play-sequence "
                          "descriptor at byte 32760 lies beyond the end of the file (96 bytes)\n"));
    EXPECT_THAT(r.out, HasSubstr("list at 0x0009 (byte 72): play list"));
    EXPECT_EQ(r.err, "kolvo-cli: EXT/PSD_X.VCD: the play-sequence descriptor at byte 32760 lies "
                     "beyond the end of the file (96 bytes)\n");

    // Lists that lead to each other and to themselves: each is printed once.
    const std::string circle = copyDisc(menu, "cli-circle");
    ASSERT_TRUE(patchForm1(circle, psd, 48 + 4, std::string("\x00\x06\x00\x06\x00\x06", 6)));
    ASSERT_TRUE(patchForm1(circle, psd, 72 + 4, std::string("\x00\x06\x00\x09\x00\x09", 6)));
    r = info(circle);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out,
                HasSubstr("list at 0x0006 (byte 48): play list, list 2, previous 0x0006, next "
                          "0x0006, return 0x0006"));

    // An entry past the end of the disc: nothing is printed but the reason.
    const std::string late = copyDisc(menu, "cli-late");
    ASSERT_TRUE(patchForm1(late, fileSector(late, "ENTRIES.VCD"), 12 + 2 * 4 + 1,
                           std::string("\x74\x00\x00", 3)));
    r = info(late);
    EXPECT_EQ(std::to_string(r.code) + " " + r.out + r.err,
              "1 kolvo-cli: " + late +
                  " is not a Video CD 2.0: entry 3 (track 3 at 74:00:00) lies past the end of the "
                  "disc\n");

    // INFO.VCD announces a play sequence that is not there.
    const std::string noPsd = copyDisc(trackModeDisc(), "cli-no-psd");
    ASSERT_TRUE(patchForm1(noPsd, fileSector(noPsd, "INFO.VCD"), 44, std::string("\0\0\0\x48", 4)));
    r = info(noPsd);
    EXPECT_EQ(std::to_string(r.code) + " " + r.err,
              "1 kolvo-cli: the play-sequence file VCD/PSD.VCD is missing or empty\n");

    // A file that is no disc image at all.
    ASSERT_TRUE(writeBytes(folder() + "/junk.bin", std::string(5000, 'x')));
    r = info(folder() + "/junk.bin");
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, testing::StartsWith("kolvo-cli: "));
}
