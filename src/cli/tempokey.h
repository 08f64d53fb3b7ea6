#pragma once
// The tempo and key options of kolvo-cli (--tempo PERCENT, --key SEMITONES), parsed and applied
// in this one place for every command and every kind of song that takes them: IMS songs and
// modules here, MIDI files as well.

#include "engines/session.h"

#include <string>

struct CliTempoKey
{
    int tempoPercent = 100; // 10..500, as the player's Fast and Slow go
    int keySemitones = 0;   // -12..12, as its Key High and Key Low go
    bool given = false;
};

// Takes the option `name` with its `value` when it is --tempo or --key: true when it was one of
// them, with `error` set when its value is out of range.
bool parseTempoKeyOption(const std::string& name, const std::string& value, CliTempoKey& into,
                         std::string& error);

// Applies the options to an open session; false with the reason when its engine cannot.
bool applyTempoKey(engines::Session& session, const CliTempoKey& options, std::string& why);
