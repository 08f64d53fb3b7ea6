#pragma once
// The front door of the output chain for engines that make their own sound (the synthesizer,
// the CD reader, modules): they push signed 16-bit PCM and it sounds through the same chain,
// effects and taps as a decoded file.

#include "engines/mediaplayer.h"

#include <memory>

namespace engines {

class PcmOutput
{
public:
    PcmOutput(ChainRole role, PcmFormat format, OutputOptions output = {},
              MediaPlayer::Callbacks callbacks = {});
    ~PcmOutput();

    // Starts the chain; the sound begins with the first frames written.
    void start();
    // Blocks while a quarter second is queued; false once stopped or failed.
    bool write(const std::int16_t* frames, size_t count);
    // No more frames: the chain plays out what it has, then reports the end.
    void finish();
    bool pause();
    bool resume();
    void stop();
    int mode() const;
    std::int64_t positionMs();
    const PcmFormat& format() const { return m_format; }

private:
    PcmFormat m_format;
    std::unique_ptr<MediaPlayer> m_player;
};

} // namespace engines
