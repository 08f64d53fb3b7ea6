#pragma once
// What the Video CD tests share: MPEG-1 clips made with ffmpeg from its test sources, Video CD
// images made from them by vcdimager (tracks only) and vcdxbuild (from an XML description with
// play lists and selection lists), once per test program, and helpers that damage an image in
// place the way a bad disc would be.

#include <cstdint>
#include <string>
#include <vector>

namespace vcdtest {

// The fixture folder of this test program.
const std::string& folder();
// Runs a shell command; its standard output, and whether it succeeded.
bool run(const std::string& command, std::string* out = nullptr);

// An MPEG-1 program stream for a Video CD (352x288, 25 frames/s, 44.1 kHz MPEG audio), a test
// picture and a tone of `hz`, `seconds` long: its path.
std::string clip(const std::string& name, double seconds, int hz);

// A Video CD 2.0 image `name`.cue/.bin of the clips as tracks, without a play sequence.
std::string tracksDisc(const std::string& name, const std::vector<std::string>& clips);
// A Video CD 2.0 image `name`.cue/.bin from the body of an XML description (the part inside
// <videocd>, after <info> and <pvd>, which are given here); clip paths in it are file names in
// folder().
std::string xmlDisc(const std::string& name, const std::string& body);

// The two-track disc with a play sequence most tests use:
//   list at 0x0000: an extended selection list, base 1, selections 1 -> 0x0006, 2 -> 0x0009,
//     next 0x0006 (with a hot area), return the end list, default and time-out 0x0009 after
//     5 s, loop 3, its own item track 3
//   list at 0x0006: a play list of track 2, entry 2 (1 s into track 2) and track 3, play time
//     3 s, wait 5 s; previous 0x0000, next 0x0009, return 0x0000
//   list at 0x0009: a play list of track 3, wait for ever; previous 0x0006, return 0x0000
//   list at 0x000B: the end list
std::string menuDisc();
// The two-track disc without a play sequence, with a second entry 1 s into track 2.
std::string trackModeDisc();
// A disc with a segment (a 1-second clip "seg"): a selection list at 0x0000, base 2, of one
// selection (the play list), playing the segment once, then timing out at once to the play
// list at 0x0006 of track 2 and the segment.
std::string segmentDisc();

// A copy of an image (its .cue and .bin) under a new name; the new .cue.
std::string copyDisc(const std::string& cue, const std::string& name);
// The sector of a file of an image as vcd-info reports it (-1 when it is not there).
int fileSector(const std::string& cue, const std::string& isoName);
// Writes bytes into the user data of a Form 1 sector of an image's .bin.
bool patchForm1(const std::string& cue, int sector, int offset, const std::string& bytes);
// Reads the user data of a Form 1 sector.
std::string readForm1(const std::string& cue, int sector);
// A folder `name` of folder() laid out as a copied disc: VCD/INFO.VCD and VCD/ENTRIES.VCD as
// the image has them, and the clips as MPEGAV/AVSEQ01.DAT and on; its path ("" on failure).
std::string folderDisc(const std::string& name, const std::string& cue,
                       const std::vector<std::string>& clips);

std::string bytesOf(const std::string& path);
bool writeBytes(const std::string& path, const std::string& bytes);

} // namespace vcdtest
