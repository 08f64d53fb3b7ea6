#include "cli/audiofile.h"

#include "albums/mediakind.h"

CliAudioFile::CliAudioFile(AppSettings& settings)
    : m_settings(settings)
{}

CliAudioFile::~CliAudioFile()
{
    stop();
}

bool CliAudioFile::start(const std::string& path, std::string& why)
{
    stop();
    engines::SessionContext context;
    context.settings = &m_settings;
    // MIDI files, karaoke files and the other kinds of the MIDI Player go its way.
    const AlbumKind player =
        MediaKindOf(AlbumKindMidi, path) != MediaKindNone ? AlbumKindMidi : AlbumKindAudio;
    context.instance = player == AlbumKindMidi ? 2 : 0;
    const engines::EngineOrder order =
        engines::engineOrder(player, MediaKindOf(player, path), m_settings);
    engines::OpenOutcome outcome = engines::openFirst(order, context, path, [this] {
        m_cookie = (m_cookie + 1) & 0xFFFF;
        return m_cookie;
    });
    m_family = outcome.family;
    m_session = std::move(outcome.session);
    if (!m_session)
        why = outcome.why;
    return m_session != nullptr;
}

int CliAudioFile::mode()
{
    if (!m_session)
        return kModeStopped;
    return m_session->failed() ? -1 : m_session->mode();
}

int CliAudioFile::positionMs()
{
    return m_session ? m_session->positionMs() : 0;
}

int CliAudioFile::lengthMs()
{
    return m_session ? m_session->lengthMs() : 0;
}

std::string CliAudioFile::information()
{
    return m_session ? m_session->infoText() : std::string();
}

bool CliAudioFile::setTempoPercent(int percent)
{
    if (!m_session)
        return false;
    if (m_baseTempo == 0)
        m_baseTempo = m_session->tempo();
    if (m_baseTempo <= 0)
        return false;
    m_session->setTempo(m_baseTempo * percent / 100);
    return true;
}

bool CliAudioFile::setKey(int semitones)
{
    if (!m_session || !m_session->hasKey())
        return false;
    m_session->setKey(semitones);
    return true;
}

void CliAudioFile::stop()
{
    m_session.reset();
    m_baseTempo = 0;
}
