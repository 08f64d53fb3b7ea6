// The little of disc sheets we read ourselves: the FILE entries of a cue sheet, and .toc
// sheets whose data file names are made absolute for libcdio.

#include "engines/cuesheet.h"

#include <gtest/gtest.h>

using namespace engines;

namespace {

TEST(CueSheet, FileEntriesAsSheetsFromManyProgramsWriteThem)
{
    struct Case
    {
        const char* text;
        std::vector<CueFileEntry> files;
    };
    const Case cases[] = {
        {"FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
         {{"disc.bin", "BINARY"}}},
        // Blanks inside quotes, CR LF line ends, a lower-case keyword and type.
        {"REM x\r\nfile \"My Disc (1).bin\" binary\r\n", {{"My Disc (1).bin", "BINARY"}}},
        // Unquoted names: the type is the last word.
        {"FILE disc.bin BINARY\n", {{"disc.bin", "BINARY"}}},
        {"FILE two words.bin   MOTOROLA  \n", {{"two words.bin", "MOTOROLA"}}},
        {"FILE lonely.bin\n", {{"lonely.bin", ""}}},
        // A byte-order mark, CR-only line ends, tabs.
        {"\xEF\xBB\xBF"
         "FILE\t\"a.wav\"\tWAVE\rTRACK 01 AUDIO\rFILE \"b.wav\" WAVE\r",
         {{"a.wav", "WAVE"}, {"b.wav", "WAVE"}}},
        // An unclosed quote runs to the end of its line.
        {"FILE \"open.bin BINARY\n", {{"open.bin BINARY", ""}}},
        // Not FILE lines: no name, another keyword that starts alike, a title that says FILE.
        {"FILE \"\" BINARY\nFILES x.bin BINARY\nFILE\nTITLE \"FILE x.bin BINARY\"\n", {}},
        {"", {}},
    };
    const auto text = [](const std::vector<CueFileEntry>& files) {
        std::string t;
        for (const CueFileEntry& f : files)
            t += "[" + f.name + "|" + f.type + "]";
        return t;
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(cueSheetFiles(c.text)), text(c.files)) << c.text;
}

TEST(CueSheet, TocSheetNamesAreMadeAbsoluteAndNothingElseChanges)
{
    const std::string sheet = "CD_DA\r\n"
                              "TRACK AUDIO\r\n"
                              "FILE \"disc.bin\" 00:00:00 00:02:00\r\n"
                              "TRACK AUDIO\n"
                              "  AUDIOFILE \"sub/two.bin\" 0\n"
                              "DATAFILE \"/abs/data.bin\"\n"
                              "FILE \"-\" 0\n"
                              "TITLE \"FILE x\"\n"
                              "FILENAME \"y\"\n";
    EXPECT_EQ(tocSheetUnderFolder(sheet, "/media/my disc"),
              "CD_DA\r\n"
              "TRACK AUDIO\r\n"
              "FILE \"/media/my disc/disc.bin\" 00:00:00 00:02:00\r\n"
              "TRACK AUDIO\n"
              "  AUDIOFILE \"/media/my disc/sub/two.bin\" 0\n"
              "DATAFILE \"/abs/data.bin\"\n"
              "FILE \"-\" 0\n"
              "TITLE \"FILE x\"\n"
              "FILENAME \"y\"\n");
    const std::string plain = "CD_DA\nTRACK AUDIO\nFILE \"/a.bin\" 0\n";
    EXPECT_EQ(tocSheetUnderFolder(plain, "/x"), plain);
}

} // namespace
