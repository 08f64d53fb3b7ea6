#pragma once
// The CD drive. The "Drive" setting holds a device node (/dev/sr0), a disc image (.cue,
// .toc, .nrg) or a folder holding the files of a mounted disc.

#include <string>

namespace cdrom {

// The first CD drive libcdio reports; "" when there is none.
std::string FindFirstCdDrive();

// Whether a stored drive can stand for the CD drive: an existing CD device node, an
// existing disc image of a kind libcdio reads, or an existing folder.
bool IsUsableDrive(const std::string& drive);

// A disc is readable when libcdio reads a table of contents from the device or image (or
// the folder exists).
bool IsDiscReadable(const std::string& drive);

// A readable disc holding VCD/INFO.VCD in its file system.
bool IsVideoCd(const std::string& drive);

} // namespace cdrom
