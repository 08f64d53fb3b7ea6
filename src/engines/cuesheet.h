#pragma once
// The little we read of disc image sheets ourselves; libcdio reads the tracks, indexes and
// CD-Text. Two of its habits need help: from a cue sheet it takes the sound from the file
// beside the sheet that shares its name (DISC.cue -> DISC.bin) whatever the FILE line says,
// and it looks up the data files a cdrdao .toc sheet names from the program's working folder.
// The CD reader uses the FILE list to find the file a cue sheet really means (and to refuse
// sheets libcdio would misread), and hands libcdio .toc sheets with absolute names.
//
// Nothing here touches the file system, so any text can be given.

#include <string>
#include <vector>

namespace engines {

struct CueFileEntry
{
    std::string name; // as written, without the quotes; never empty
    std::string type; // the word after the name in upper case ("BINARY", "WAVE", ...), or ""
};

// The FILE entries of a cue sheet, in order. Lines are ended by LF, CR LF or CR; keywords are
// matched without regard to case. A FILE line without a name is left out.
std::vector<CueFileEntry> cueSheetFiles(const std::string& text);

// The .toc sheet with the relative names of its FILE, AUDIOFILE and DATAFILE entries put under
// `folder` (which ends without "/"); everything else is kept byte for byte.
std::string tocSheetUnderFolder(const std::string& text, const std::string& folder);

} // namespace engines
