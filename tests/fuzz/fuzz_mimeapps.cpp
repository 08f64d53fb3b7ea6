// The user's mimeapps.list, written by every desktop program and by hand: a list that reads is
// its text byte for byte; Kolvo's change of a type touches that line only and reads again; undoing
// it gives back the very bytes; a list that does not read names the line at fault.
#include "fuzzcheck.h"
#include "fuzzhome.h"
#include "platform/mimeapps.h"

// Kolvo's change and its undoing, for one type; the list must be the loaded one.
static void roundTrip(const std::string& file, const std::string& original, const std::string& type)
{
    mimeapps::List list, reread;
    std::string error;
    int line = 0;
    FUZZ_CHECK(list.load(file, error, line));
    const auto before = list.defaultLine(type);
    const bool hadGroup = list.hasDefaultGroup();
    list.setDefault(type, "kolvo.desktop");
    const auto now = list.defaultLine(type);
    FUZZ_CHECK(now && now->rfind(type + "=kolvo.desktop;", 0) == 0 && list.hasDefaultGroup());

    // What was written reads again, with Kolvo's line.
    const std::string changedFile = fuzzhome::base() + "/read/changed.list";
    fuzzhome::write(changedFile, list.text());
    FUZZ_CHECK(reread.load(changedFile, error, line));
    FUZZ_CHECK(reread.defaultLine(type) == now && reread.text() == list.text());

    list.restoreLine(type, before);
    if (!hadGroup)
        list.removeDefaultGroupIfEmpty();
    FUZZ_CHECK(list.text() == original);
}

FUZZ_TARGET
{
    const std::string file = fuzzhome::next("read") + "/mimeapps.list";
    fuzzhome::write(file, bytes);

    mimeapps::List list;
    std::string error;
    int line = 0;
    const bool loaded = list.load(file, error, line);
    FUZZ_CHECK(loaded ? line == 0 && list.text() == bytes : !error.empty() && line >= 0);
    if (!loaded)
        return;
    roundTrip(file, bytes, "audio/mpeg");
    roundTrip(file, bytes, "x-scheme-handler/cdda");
    // A type the file itself names, spelled as it spells it.
    const auto eq = bytes.find('=');
    if (eq == std::string::npos)
        return;
    const auto start = bytes.rfind('\n', eq);
    std::string key = bytes.substr(start == std::string::npos ? 0 : start + 1,
                                   eq - (start == std::string::npos ? 0 : start + 1));
    key.erase(key.find_last_not_of(" \t") + 1);
    key.erase(0, std::min(key.size(), key.find_first_not_of(" \t")));
    if (!key.empty() && key.front() != '#' && key.front() != '[' &&
        key.find('\r') == std::string::npos)
        roundTrip(file, bytes, key);
}
