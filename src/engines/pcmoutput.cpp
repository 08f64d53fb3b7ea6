#include "engines/pcmoutput.h"

namespace engines {

PcmOutput::PcmOutput(ChainRole role, PcmFormat format, OutputOptions output,
                     MediaPlayer::Callbacks callbacks)
    : m_format(format)
{
    MediaPlayer::Options options;
    options.role = role;
    options.output = std::move(output);
    options.pcm = format;
    m_player = std::make_unique<MediaPlayer>(std::move(options), std::move(callbacks));
}

PcmOutput::~PcmOutput() = default;

void PcmOutput::start()
{
    m_player->open({}, 0, true);
}

bool PcmOutput::write(const std::int16_t* frames, size_t count)
{
    return m_player->pushPcm(frames, count);
}

void PcmOutput::finish()
{
    m_player->endPcm();
}

bool PcmOutput::pause()
{
    return m_player->pause();
}

bool PcmOutput::resume()
{
    return m_player->resume();
}

void PcmOutput::stop()
{
    m_player->shutdown();
}

int PcmOutput::mode() const
{
    return m_player->mode();
}

std::int64_t PcmOutput::positionMs()
{
    return m_player->positionMs();
}

} // namespace engines
