#pragma once
// KIMSEngine_: IMS songs (AdLib MIDI with an instrument table, the music of Korean DOS games)
// played by AdPlug's IMS player on an emulated OPL2 chip, rendered into the output chain in the
// MIDI role. Play opens and starts in one call and knows the length at once; notifications are
// message 0x798 with the play cookie: event 1 with 525 when the end has been heard, event 2 when
// the sound output failed.
//
// The song's instruments come from an AdLib bank (.BNK), looked up in this order: the bank of
// the song's own name beside it, "STANDARD.BNK" beside it (names compared without regard to
// case), then the program's General-MIDI-like bank (share/kolvo/STANDARD.BNK, made by our
// generator). An instrument the bank lacks sounds as the bank's nearest-named one. A song with
// no bank anywhere is refused.
//
// Tempo: GetTempo is the song's own tempo (beats a minute); SetTempo plays at that many, by
// running the player's ticks faster or slower. Key: SetKey moves every melodic voice by
// semitones at the chip (the drum voices of percussive songs keep their pitch).

#include "platform/messages.h"

#include <cstdint>
#include <string>
#include <vector>

std::int32_t KIMSEngine_Play(HWND window, const char* path, int cookie);
std::int32_t KIMSEngine_Stop();
std::int32_t KIMSEngine_Pause();
std::int32_t KIMSEngine_Resume();
std::int32_t KIMSEngine_Seek(int ms);
std::int32_t KIMSEngine_GetPosition();
std::int32_t KIMSEngine_GetLength();
std::int32_t KIMSEngine_GetMode();
std::int32_t KIMSEngine_IsOpen();
std::int32_t KIMSEngine_GetFileInfo(char* buffer, int size);
std::int32_t KIMSEngine_GetTempo();
std::int32_t KIMSEngine_SetTempo(int tempo);
std::int32_t KIMSEngine_GetKey(int unused);
std::int32_t KIMSEngine_SetKey(int key);
// IMS songs carry no words: always 0.
std::int32_t KIMSEngine_IsKaraoke();
// 20 band values of what the song sounds now; nonzero when it sounds.
std::int32_t KIMSEngine_GetSpectrum(std::int32_t* buffer);

namespace engines {

// The banks there are for the song at `songPath`, in the order of the lookup above (the first
// that reads is played with; a damaged one is passed over). `programBank` is the program's bank
// (empty: the installed one beside the executable).
std::vector<std::string> imsBankCandidates(const std::string& songPath,
                                           const std::string& programBank = {});
// The first of them; "" when there is none.
std::string findImsBank(const std::string& songPath, const std::string& programBank = {});
// The installed bank: <executable's folder>/../share/kolvo/STANDARD.BNK.
std::string programImsBank();

} // namespace engines
