#pragma once
// The MCI sequencer device (MCI_DEVTYPE_SEQUENCER) for MIDI files (.mid, .rmi, .kar), over the
// same FluidSynth playback as the MIDI engine (engines/midisynth.h), so the MIDI Player's last
// resort sounds the same through the same output chain. It answers as a classic sequencer:
// milliseconds as its time format, status mode, position, length, ready and the tempo (beats
// per minute, MCI_SEQ_STATUS_TEMPO), set tempo (MCI_SEQ_SET_TEMPO, the song plays that much
// faster or slower), play from/to, stop and pause (both hold the position), seek. A play asked
// with MCI_NOTIFY ends with MM_MCINOTIFY: successful at the end, superseded by a newer play,
// aborted by stop or seek, failure when the sound output fails.

#include "engines/mci.h"

constexpr std::uint32_t MCI_SEQ_STATUS_TEMPO = 0x00004002;
constexpr std::uint32_t MCI_SEQ_SET_TEMPO = 0x00010000;

struct MCI_SEQ_SET_PARMS
{
    HWND dwCallback = 0;
    std::uint32_t dwTimeFormat = 0;
    std::uint32_t dwAudio = 0;
    std::uint32_t dwTempo = 0;
};

namespace engines {

// Registers the sequencer driver with our MCI. Called once where a program starts; calling it
// again changes nothing.
void registerSequencerDriver();

} // namespace engines
