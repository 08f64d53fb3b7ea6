#include "platform/cdrom.h"
#include "support/testhome.h"

#include <QDir>

namespace {

class CdromTest : public KolvoHomeTest
{
protected:
    std::string makeDisc(const std::string& kind, const std::string& name, const std::string& extra)
    {
        const std::string cue = homePath(name);
        const std::string cmd = std::string(KOLVO_SOURCE_DIR) + "/tools/make-test-disc " + kind +
                                " '" + cue + "' " + extra;
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return cue;
    }
};

} // namespace

TEST_F(CdromTest, DiscImagesAreReadableAndOnlyAVideoCdIsOne)
{
    const std::string audio = makeDisc("audio", "audio.cue", "2 2 1");
    EXPECT_TRUE(cdrom::IsUsableDrive(audio));
    EXPECT_TRUE(cdrom::IsDiscReadable(audio));
    EXPECT_FALSE(cdrom::IsVideoCd(audio));
    const std::string video = makeDisc("video", "vcd.cue", "1");
    EXPECT_TRUE(cdrom::IsDiscReadable(video));
    EXPECT_TRUE(cdrom::IsVideoCd(video));
}

TEST_F(CdromTest, AFolderStandsForAMountedDisc)
{
    QDir().mkpath(QString::fromStdString(homePath("disc/vcd")));
    EXPECT_TRUE(cdrom::IsUsableDrive(homePath("disc")));
    EXPECT_TRUE(cdrom::IsDiscReadable(homePath("disc")));
    EXPECT_FALSE(cdrom::IsVideoCd(homePath("disc"))) << "the folder is there, INFO.VCD is not";
    // Disc file systems are case-insensitive; a mount may show either case.
    writeFile("disc/vcd/info.vcd", "VIDEO_CD");
    EXPECT_TRUE(cdrom::IsVideoCd(homePath("disc")));
}

TEST_F(CdromTest, WhatIsNotADiscIsRefused)
{
    // "D:" from a settings file of another system names nothing here.
    for (const std::string& none : {std::string(), homePath("missing.cue"), std::string("D:")}) {
        EXPECT_FALSE(cdrom::IsUsableDrive(none)) << none;
        EXPECT_FALSE(cdrom::IsDiscReadable(none)) << none;
    }
    EXPECT_FALSE(cdrom::IsVideoCd(homePath("missing")));
    EXPECT_FALSE(cdrom::IsUsableDrive(writeFile("notes.txt", "hello"))) << "not an image kind";
    // A cue sheet whose tracks point nowhere, and one that is noise.
    writeFile("orphan.cue", "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    EXPECT_FALSE(cdrom::IsDiscReadable(homePath("orphan.cue")));
    static const char noise[] = "\x01\x02\xff garbage \0\0 TRACK";
    writeFile("noise.cue", std::string(noise, sizeof noise - 1));
    EXPECT_FALSE(cdrom::IsDiscReadable(homePath("noise.cue")));
    EXPECT_FALSE(cdrom::IsVideoCd(homePath("noise.cue")));
}
