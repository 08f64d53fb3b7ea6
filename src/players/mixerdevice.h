#pragma once
// The sound card's mixer as the Mixer panel sees it: a snapshot of the lines of the three
// views, kept current by the device, and the few changes the panel asks for. A device tells
// its window that the snapshot changed by posting MM_MIXM_CONTROL_CHANGE to it (from any
// thread); the panel then takes a fresh snapshot. Changes are asked for on the user-interface
// thread and do not wait for the server.

#include "players/mixerlines.h"

#include <memory>

namespace mixer {

class MixerDevice
{
public:
    virtual ~MixerDevice() = default;
    virtual void setNotifyWindow(HWND window) = 0;
    virtual Snapshot snapshot() const = 0;
    // Channel values 0..32 of a line (a mono line takes left).
    virtual void setVolume(const Line& line, int left, int right) = 0;
    virtual void setMute(const Line& line, bool muted) = 0;
    // The select list of a destination of a view.
    virtual void setSelect(int view, int destination, std::uint32_t mask) = 0;
};

// The program's device: PulseAudio through libpulse (PipeWire's PulseAudio service alike).
std::unique_ptr<MixerDevice> createPulseMixer();

} // namespace mixer
