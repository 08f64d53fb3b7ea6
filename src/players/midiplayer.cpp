#include "players/midiplayer.h"

#include "albums/mediakind.h"
#include "albums/playlist.h"
#include "albums/songname.h"
#include "engines/engineapi.h"
#include "engines/kcdsengine.h"
#include "engines/sequencer.h"
#include "platform/strings.h"
#include "players/karaokeviewer.h"
#include "ui/buttons.h"
#include "ui/digitdisplay.h"

#include <algorithm>

namespace {

constexpr int kTempoStep = 10;
constexpr int kTempoMin = 10;
constexpr int kTempoMax = 500;
constexpr int kKeyMin = -12;
constexpr int kKeyMax = 12;

} // namespace

MidiPlayer::MidiPlayer(PlayerHost& host, QWidget* parent)
    : PlayerFrame(ComponentMidi, AlbumKindMidi, host, parent, buttons::kMidiPlayer, true)
{
    // The last resort of MIDI files; registering again changes nothing.
    engines::registerSequencerDriver();
    // Beside Fast/Slow and Key High/Key Low.
    m_tempoDisplay = new DigitDisplay(2, QRect(446, 28, 38, 19), this, cmd::Fast);
    m_tempoDisplay->SetDigits(3, false);
    m_tempoDisplay->SetFrame(true);
    m_tempoDisplay->setToolTip(tr("Tempo (%)"));
    m_keyDisplay = new DigitDisplay(2, QRect(446, 49, 38, 19), this, cmd::KeyHigh);
    m_keyDisplay->SetDigits(2, true);
    m_keyDisplay->SetFrame(true);
    m_keyDisplay->setToolTip(tr("Key (semitones)"));
    ShowTempo(0, false);
    ShowKey(0, false);
    LoadStartAlbum();
}

MidiPlayer::~MidiPlayer()
{
    m_album.ResetPlay();
    StopPlayer(true);
    AfterStop();
}

QString MidiPlayer::OpenFilter()
{
    return tr("MIDI files (*.mid *.rmi *.kar *.ims *.mod *.mdz *.s3m *.stm *.s3z *.xm *.xmz *.mtm "
              "*.it *.itz *.669 *.far *.med *.mdl *.nst *.okt *.ult *.wow *.m3u *.pls);;"
              "MIDI and karaoke (*.mid *.rmi *.kar);;Play lists (*.m3u *.pls);;All files (*)");
}

KaraokeViewer* MidiPlayer::karaokeViewer()
{
    // Made when the first song opens, not at start-up: most sessions never need it.
    if (!m_karaoke)
        m_karaoke = std::make_unique<KaraokeViewer>(this, [this] {
            engines::Session* open = session();
            return open ? open->mode() : kModeStopped;
        });
    return m_karaoke.get();
}

engines::SessionContext MidiPlayer::sessionContext()
{
    engines::SessionContext context = PlayerFrame::sessionContext();
    context.window = karaokeViewer()->handle();
    context.instance = 2;
    return context;
}

std::int32_t MidiPlayer::OpenTrack(int n)
{
    karaokeViewer()->hideViewer();
    if (m_spectrumRunning) {
        KCDSEngine_Stop(1);
        m_spectrumRunning = false;
    }
    const std::int32_t result = PlayerFrame::OpenTrack(n);
    engines::Session* open = session();
    if (result <= 0 || !open) {
        ShowTempo(0, false);
        ShowKey(0, false);
        return result;
    }
    // A song that opens later gets its displays and words when the engine says it plays.
    if (open->knowsLengthAtOpen(result))
        TakeSong();
    return result;
}

void MidiPlayer::TakeSong()
{
    engines::Session* open = session();
    if (!open)
        return;
    const MediaKind kind = MediaKindOf(AlbumKindMidi, m_playingPath);
    // A module shows no tempo or key: the player leaves both displays at 0 and off, so Fast,
    // Slow and the key buttons pass it by, although the engine could change both (kolvo-cli
    // does).
    const bool module = kind == MediaKindModule;
    m_baseTempo = module ? 0 : open->baseTempo();
    ShowTempo(m_baseTempo > 0 ? 100 : 0, m_baseTempo > 0);
    ShowKey(open->hasKey() && !module ? open->key() : 0, open->hasKey() && !module);
    if (open->isKaraoke())
        karaokeViewer()->showFor(QString::fromStdString(
            SongDisplayName(m_playingPath, host().settings().viewId3Tag != 0)));
    else
        karaokeViewer()->hideViewer();
    if ((kind == MediaKindMidi || kind == MediaKindIms) && host().settings().spectrumMidi == 1 &&
        !m_spectrumRunning) {
        KCDSEngine_Run(1);
        m_spectrumRunning = true;
    }
}

LRESULT MidiPlayer::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    const bool opening = m_state == kModeOpening;
    const int cookieBefore = cookie();
    const LRESULT result = PlayerFrame::onMessage(msg, wParam, lParam);
    // The song that was opening plays now.
    if (msg == kNotifyMidi && opening && HIWORD(wParam) == cookieBefore &&
        LOWORD(wParam) == kEventMode && lParam == kModePlaying && m_state == kModePlaying)
        TakeSong();
    return result;
}

std::string MidiPlayer::OpeningText() const
{
    return tr("Loading the SoundFont...").toStdString();
}

bool MidiPlayer::OnPlayerCommand(int id)
{
    switch (id) {
    case cmd::Open:
        OpenFiles();
        return true;
    case cmd::Fast:
        Fast(true);
        return true;
    case cmd::Slow:
        Fast(false);
        return true;
    case cmd::KeyHigh:
        ChangeKey(true);
        return true;
    case cmd::KeyLow:
        ChangeKey(false);
        return true;
    case cmd::Stop:
    case cmd::Power:
        // The frame stops; what is the MIDI Player's own goes with it.
        QMetaObject::invokeMethod(
            this, [this] { OnPlayerTick(); }, Qt::QueuedConnection);
        return false;
    default:
        return false;
    }
}

void MidiPlayer::OnPlayerTick()
{
    if (m_state == kModeStopped || m_state == kModeNotReady)
        AfterStop();
}

void MidiPlayer::AfterStop()
{
    if (m_spectrumRunning) {
        KCDSEngine_Stop(1);
        m_spectrumRunning = false;
    }
    ShowTempo(m_tempoDisplay->value(), false);
    ShowKey(m_keyDisplay->value(), false);
    if (m_karaoke && m_karaoke->isActive())
        m_karaoke->hideViewer();
}

void MidiPlayer::Fast(bool faster)
{
    if (m_state != kModePlaying || !m_tempoDisplay->isLit())
        return;
    const int percent = faster ? std::min(m_tempo + kTempoStep, kTempoMax)
                               : std::max(m_tempo - kTempoStep, kTempoMin);
    ShowTempo(percent, true);
    if (engines::Session* open = session(); open && m_baseTempo > 0)
        open->setTempo(m_baseTempo * percent / 100);
}

void MidiPlayer::ChangeKey(bool higher)
{
    if (m_state != kModePlaying || !m_keyDisplay->isLit())
        return;
    const int key = higher ? std::min(m_key + 1, kKeyMax) : std::max(m_key - 1, kKeyMin);
    if (engines::Session* open = session(); open && open->hasKey())
        open->setKey(key);
    ShowKey(key, true);
}

void MidiPlayer::ShowTempo(int percent, bool lit)
{
    m_tempo = percent;
    m_tempoDisplay->SetValue(percent);
    m_tempoDisplay->SetLit(lit);
    m_tempoDisplay->setEnabled(lit);
}

void MidiPlayer::ShowKey(int key, bool lit)
{
    m_key = key;
    m_keyDisplay->SetValue(key);
    m_keyDisplay->SetLit(lit);
    m_keyDisplay->setEnabled(lit);
}
