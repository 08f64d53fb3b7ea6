#pragma once
// The two AdLib files an IMS song needs, read and written by us: the IMS song itself (an AdLib
// MIDI header of 70 bytes, the event data, then the table of the instrument names it uses) and
// the instrument bank (.BNK: a header, a name list and 30-byte timbre records). The readers take
// any bytes and either describe a file whose every offset and count lies inside it, or say why
// not; AdPlug only ever sees files they accepted.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engines {

// What an IMS song's header and instrument table say.
struct ImsSong
{
    std::string title; // the 30 raw bytes of the header, up to the first zero (Johab)
    int tickBeat = 0;
    int basicTempo = 0; // beats a minute
    int soundMode = 0;  // 0 melodic, 1 percussive
    std::uint32_t dataSize = 0;
    std::vector<std::string> instruments; // names the events' instrument numbers refer to
};

// Reads an IMS song; nullopt with the reason when the bytes are not one AdPlug can play.
std::optional<ImsSong> readImsSong(std::string_view bytes, std::string* why = nullptr);

// One timbre of a bank: its name (up to 8 characters) and its 30-byte record (mode, percussion
// voice, the two operators' 13 parameters, the two wave forms).
struct AdlibTimbre
{
    std::string name;
    std::array<std::uint8_t, 30> record{};
};

// Reads a bank; nullopt with the reason when the header, the name list or a record lies outside
// the file. Unused entries are left out.
std::optional<std::vector<AdlibTimbre>> readAdlibBank(std::string_view bytes,
                                                      std::string* why = nullptr);
// A version 1.0 bank holding the timbres in order.
std::string writeAdlibBank(const std::vector<AdlibTimbre>& timbres);

// The bank a song is played with: `bank`, plus for every instrument the song names and the bank
// lacks (names are matched exactly, as the player looks them up), a copy of the bank's timbre
// whose name is nearest: the longest common start compared without regard to case, the first
// timbre when none shares a letter. Empty for an empty bank.
std::vector<AdlibTimbre> completeBankFor(const ImsSong& song, std::vector<AdlibTimbre> bank);

} // namespace engines
