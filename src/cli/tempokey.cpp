#include "cli/tempokey.h"

#include <cstdlib>

namespace {

bool integer(const std::string& text, int lo, int hi, int& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi)
        return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace

bool parseTempoKeyOption(const std::string& name, const std::string& value, CliTempoKey& into,
                         std::string& error)
{
    if (name == "--tempo") {
        if (!integer(value, 10, 500, into.tempoPercent))
            error = "--tempo takes a percent 10..500";
    } else if (name == "--key") {
        if (!integer(value, -12, 12, into.keySemitones))
            error = "--key takes semitones -12..12";
    } else {
        return false;
    }
    into.given = true;
    return true;
}

bool applyTempoKey(engines::Session& session, const CliTempoKey& options, std::string& why)
{
    if (!options.given)
        return true;
    const std::string engine = session.family().name;
    if (options.tempoPercent != 100) {
        const int base = session.baseTempo();
        if (base <= 0 || !session.setTempo(base * options.tempoPercent / 100)) {
            why = "the " + engine + " cannot change the tempo";
            return false;
        }
    }
    if (options.keySemitones != 0 && !session.setKey(options.keySemitones)) {
        why = "the " + engine + " cannot change the key";
        return false;
    }
    return true;
}
