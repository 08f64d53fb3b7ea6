#include "cli/audiofile.h"

#include "albums/mediakind.h"

namespace {

// The player a file goes to: the Digital Audio Player's kinds, else the MIDI Player's.
AlbumKind playerFor(const std::string& path)
{
    if (MediaKindOf(AlbumKindAudio, path) == MediaKindNone &&
        MediaKindOf(AlbumKindMidi, path) != MediaKindNone)
        return AlbumKindMidi;
    return AlbumKindAudio;
}

} // namespace

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
    const AlbumKind player = playerFor(path);
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

void CliAudioFile::stop()
{
    m_session.reset();
}
