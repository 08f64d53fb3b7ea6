// The adapters that put each engine family behind the Session face. Each keeps its family's
// designed calls and their order exactly (the MPEG engine's setup before every Play, the
// general engine's Open then Play, the MCI device's open, time format and play), so the
// players and kolvo-cli no longer spell them out.

#include "engines/engineapi.h"
#include "engines/kamengine.h"
#include "engines/kimsengine.h"
#include "engines/kmidengine.h"
#include "engines/kmodengine.h"
#include "engines/kmpengine.h"
#include "engines/kqtengine.h"
#include "engines/kraengine.h"
#include "engines/krvengine.h"
#include "engines/mcidevice.h"
#include "engines/midisynth.h"
#include "engines/outputconfig.h"
#include "engines/sequencer.h"
#include "engines/session.h"
#include "platform/profile.h"
#include "platform/settings.h"

#include <cstring>

namespace engines {
namespace {

constexpr int kInfoSize = 1024;
constexpr int kFolderBuffer = 256;

void copyToBuffer(char (&buffer)[kFolderBuffer], const std::string& text)
{
    std::memset(buffer, 0, sizeof buffer);
    std::strncpy(buffer, text.c_str(), sizeof buffer - 1);
}

class MpegSession final : public Session
{
public:
    using Session::Session;
    ~MpegSession() override
    {
        if (m_open)
            KMPEngine_Stop();
    }
    UINT notification() const override { return kNotifyMpeg; }

    std::int32_t open(const std::string& path, int cookie) override
    {
        AppSettings& s = *context().settings;
        KMPEngine_SetChannel(s.mp3Channel);
        KMPEngine_SetQuality(s.mp3Quality);
        KMPEngine_SetOutputOptions(s.mp3OutputType, s.mp3BufferCount, s.mp3Priority, s.saveStream);
        KMPEngine_SetEngine(s.mp3Engine);
        KMPEngine_SetScale(s.outScaleAgc, s.outScaleValue);
        char wavDir[kFolderBuffer];
        char streamDir[kFolderBuffer];
        copyToBuffer(wavDir, s.wavOutputDir);
        copyToBuffer(streamDir, s.streamOutputDir);
        const std::int32_t result = KMPEngine_Play(context().window, path.c_str(), cookie, wavDir,
                                                   s.wavOutputAutomaticNaming, streamDir);
        if (result <= 0)
            return result;
        m_open = true;
        // The engine may have chosen the folders: the next song uses the same ones.
        s.wavOutputDir = wavDir;
        s.streamOutputDir = streamDir;
        KMPEngine_SetEffect(s.reverb, s.reverbMode, s.reverbDepth, s.chorus, s.chorusDepth, s.wide,
                            s.wideDepth, s.fx, s.fxMode);
        return result;
    }
    bool knowsLengthAtOpen(std::int32_t result) const override
    {
        return result > 0 && result != kResultMpegLater;
    }
    int mode() override { return KMPEngine_GetMode(); }
    bool failed() override { return !KMPEngine_IsOpen(); }
    int positionMs() override { return KMPEngine_GetPosition(); }
    int lengthMs() override { return KMPEngine_GetLength(); }
    void pause() override { KMPEngine_Pause(); }
    void resume() override { KMPEngine_Resume(); }
    void seek(int ms, bool paused) override
    {
        KMPEngine_Seek(ms);
        if (paused)
            KMPEngine_Pause();
    }
    std::string infoText(bool) override
    {
        const AppSettings& s = *context().settings;
        const int id3[6] = {s.viewId3TagTitle, s.viewId3TagArtist,  s.viewId3TagAlbum,
                            s.viewId3TagYear,  s.viewId3TagComment, s.viewId3TagGenre};
        char buffer[kInfoSize] = {};
        KMPEngine_GetFileInfo(buffer, kInfoSize, s.viewFileInfo, s.viewId3Tag ? id3 : nullptr);
        return buffer;
    }
    bool runsInternalEffects() const override { return true; }

private:
    bool m_open = false;
};

class RealAudioSession final : public Session
{
public:
    using Session::Session;
    ~RealAudioSession() override
    {
        if (m_open)
            KRAEngine_Stop();
    }
    UINT notification() const override { return kNotifyRealAudio; }

    std::int32_t open(const std::string& path, int cookie) override
    {
        const std::int32_t result = KRAEngine_Play(context().window, path.c_str(), cookie);
        m_open = result > 0;
        return result;
    }
    // Its sound, length and information come with the notification of each clip.
    bool knowsLengthAtOpen(std::int32_t) const override { return false; }
    int mode() override { return KRAEngine_GetMode(); }
    bool failed() override { return !KRAEngine_IsOpen(); }
    int positionMs() override { return KRAEngine_GetPosition(); }
    int lengthMs() override { return KRAEngine_GetLength(); }
    void pause() override { KRAEngine_Pause(); }
    void resume() override { KRAEngine_Resume(); }
    void seek(int ms, bool paused) override
    {
        // The engine holds still after a seek until it is resumed.
        KRAEngine_Seek(ms);
        KRAEngine_Resume();
        if (paused)
            KRAEngine_Pause();
    }
    std::string infoText(bool) override
    {
        char buffer[kInfoSize] = {};
        KRAEngine_GetFileInfo(buffer, kInfoSize);
        return buffer;
    }
    bool nextClip() override { return KRAEngine_GotoNextClip() > 0; }
    bool prevClip() override { return KRAEngine_GotoPrevClip() > 0; }

private:
    bool m_open = false;
};

class GeneralSession final : public Session
{
public:
    using Session::Session;
    ~GeneralSession() override
    {
        if (m_open) {
            KAMEngine_Stop(inst());
            KAMEngine_Close(inst());
        }
    }
    UINT notification() const override { return kNotifyDirectShow; }

    std::int32_t open(const std::string& path, int cookie) override
    {
        const std::int32_t result = KAMEngine_Open(inst(), context().window, path.c_str(), cookie,
                                                   nullptr, context().sizeMode);
        if (result <= 0)
            return result;
        m_open = true;
        if (result == kResultAmLater) {
            m_startPending = true;
        } else if (KAMEngine_Play(inst()) <= 0) {
            KAMEngine_Close(inst());
            m_open = false;
            return kAmFailed;
        }
        const AppSettings& s = *context().settings;
        KAMEngine_SetEffect(inst(), s.reverb, s.reverbMode, s.reverbDepth, s.chorus, s.chorusDepth,
                            s.wide, s.wideDepth, s.fx, s.fxMode);
        return result;
    }
    // An item that opened later is ready now and starts here.
    bool ready(int mode) override
    {
        if (mode != kModeOpening || !m_startPending)
            return true;
        m_startPending = false;
        return KAMEngine_Play(inst()) > 0;
    }
    int mode() override
    {
        const int mode = KAMEngine_GetMode(inst());
        if (!m_startPending)
            return mode;
        // Opened but not started: still opening for whoever waits for the ready notice. With
        // nobody to notify, the session starts the item itself once the engine is ready.
        if (context().window == 0 && mode == kModeStopped) {
            m_startPending = false;
            return KAMEngine_Play(inst()) > 0 ? kModePlaying : mode;
        }
        return kModeOpening;
    }
    bool failed() override { return !KAMEngine_IsOpen(inst()); }
    int positionMs() override { return KAMEngine_GetPosition(inst()); }
    int lengthMs() override { return KAMEngine_GetLength(inst()); }
    void pause() override { KAMEngine_Pause(inst()); }
    void resume() override { KAMEngine_Resume(inst()); }
    // The engine keeps a paused item paused across a seek.
    void seek(int ms, bool) override { KAMEngine_Seek(inst(), ms); }
    std::string infoText(bool atOpen) override
    {
        if (atOpen && !context().settings->viewFileInfo)
            return {};
        char buffer[kInfoSize] = {};
        KAMEngine_GetFileInfo(inst(), buffer, kInfoSize);
        return buffer;
    }
    bool configure(HWND owner) override
    {
        const bool playing = KAMEngine_GetMode(inst()) == kModePlaying;
        KAMEngine_StopTemp(inst());
        KAMEngine_Config(inst(), owner);
        if (playing)
            KAMEngine_Play(inst());
        return true;
    }
    bool sourceRect(RECT& rect) override { return KAMEngine_GetSourceRect(inst(), &rect) > 0; }
    void setMovieRect(const RECT& rect) override { KAMEngine_SetMovieRect(inst(), &rect); }
    bool showFullScreen(bool on) override { return KAMEngine_ShowFullScreen(inst(), on) > 0; }
    bool setSpeed(int thousandths) override { return KAMEngine_SetSpeed(inst(), thousandths) > 0; }
    bool step(bool backward) override { return KAMEngine_Step(inst(), 1, backward) > 0; }
    std::vector<std::uint8_t> capture() override { return KAMEngine_Capture(inst()); }

private:
    int inst() const { return context().instance; }
    bool m_open = false;
    bool m_startPending = false;
};

class MciSession final : public Session
{
public:
    using Session::Session;
    ~MciSession() override
    {
        if (m_mci.isOpen()) {
            m_mci.stop();
            m_mci.close();
        }
    }
    UINT notification() const override { return 0; }

    std::int32_t open(const std::string& path, int) override
    {
        std::int32_t result = m_mci.openElement(path.c_str());
        if (result <= 0)
            return result;
        m_mci.setTimeFormat(MCI_FORMAT_MILLISECONDS);
        // A film's pictures go to the window of the context (the video player's viewer).
        MCI_DGV_WINDOW_PARMS window;
        window.hWnd = context().window;
        m_film = context().window != 0 &&
                 mciSendCommand(m_mci.deviceId(), MCI_WINDOW, MCI_DGV_WINDOW_HWND, &window) == 0;
        if (m_film && context().sizeMode == 3) {
            MCI_PLAY_PARMS play;
            play.dwFrom = 0;
            result = mciSendCommand(m_mci.deviceId(), MCI_PLAY,
                                    MCI_FROM | MCI_MCIAVI_PLAY_FULLSCREEN, &play) == 0
                         ? 1
                         : kMciFailed;
        } else {
            result = m_mci.play(0, -1);
        }
        if (result <= 0)
            m_mci.close();
        return result;
    }
    bool sourceRect(RECT& rect) override
    {
        MCI_DGV_RECT_PARMS where;
        if (!m_film ||
            mciSendCommand(m_mci.deviceId(), MCI_WHERE, MCI_DGV_WHERE_SOURCE, &where) != 0)
            return false;
        rect = where.rc;
        return true;
    }
    void setMovieRect(const RECT& rect) override
    {
        MCI_DGV_RECT_PARMS put;
        put.rc = rect;
        if (m_film)
            mciSendCommand(m_mci.deviceId(), MCI_PUT, MCI_DGV_RECT | MCI_DGV_PUT_DESTINATION, &put);
    }
    bool showFullScreen(bool on) override
    {
        return m_film && showSurfaceFullScreen(context().window, on);
    }
    bool setSpeed(int thousandths) override
    {
        MCI_SET_PARMS set;
        set.dwSpeed = static_cast<std::uint32_t>(thousandths);
        return m_film && mciSendCommand(m_mci.deviceId(), MCI_SET, MCI_DGV_SET_SPEED, &set) == 0;
    }
    bool step(bool backward) override
    {
        MCI_DGV_STEP_PARMS step;
        return m_film && mciSendCommand(m_mci.deviceId(), MCI_STEP,
                                        MCI_DGV_STEP_FRAMES | (backward ? MCI_DGV_STEP_REVERSE : 0),
                                        &step) == 0;
    }
    std::vector<std::uint8_t> capture() override
    {
        return m_film ? mciCapturePicture(m_mci.deviceId()) : std::vector<std::uint8_t>();
    }
    int mode() override { return static_cast<int>(m_mci.status(MCI_STATUS_MODE)); }
    bool failed() override
    {
        const long mode = m_mci.status(MCI_STATUS_MODE);
        return mode < 0 || mode == static_cast<long>(MCI_MODE_NOT_READY);
    }
    int positionMs() override { return static_cast<int>(m_mci.position()); }
    int lengthMs() override { return static_cast<int>(m_mci.length()); }
    void pause() override { m_mci.pause(); }
    void resume() override { m_mci.play(); }
    void seek(int ms, bool paused) override
    {
        m_mci.seek(ms);
        m_mci.play();
        if (paused)
            m_mci.pause();
    }
    std::string infoText(bool) override { return m_mci.informationText(); }
    // The sequencer's tempo in beats per minute; other devices have none. The device reports
    // the tempo it plays at, so the first answer is kept as the song's own.
    int baseTempo() override
    {
        if (m_baseTempo == 0 && m_mci.isOpen()) {
            const long tempo = m_mci.status(MCI_SEQ_STATUS_TEMPO);
            m_baseTempo = tempo > 0 ? static_cast<int>(tempo) : 0;
        }
        return m_baseTempo;
    }
    bool setTempo(int tempo) override
    {
        if (!m_mci.isOpen() || tempo <= 0)
            return false;
        MCI_SEQ_SET_PARMS parms;
        parms.dwTempo = static_cast<std::uint32_t>(tempo);
        return mciSendCommand(m_mci.deviceId(), MCI_SET, MCI_SEQ_SET_TEMPO, &parms) == 0;
    }
    // The device plays through the same sound output as the file engine, so that output is
    // what there is to configure; the item holds still meanwhile.
    bool configure(HWND owner) override
    {
        m_mci.pause();
        runOutputConfigDialog(owner);
        m_mci.play();
        return true;
    }

private:
    MciDevice m_mci;
    bool m_film = false;
    int m_baseTempo = 0;
};

// The QuickTime 3 engine (instance 1) and the older one, which takes no instance and no cookie.
// Neither notifies: the session is polled, 526 once started.
class QuickTime3Session final : public Session
{
public:
    using Session::Session;
    ~QuickTime3Session() override
    {
        if (m_open) {
            KQT3Engine_Stop(inst());
            KQT3Engine_Close(inst());
        }
    }
    UINT notification() const override { return 0; }
    std::int32_t open(const std::string& path, int cookie) override
    {
        std::int32_t result = KQT3Engine_Open(inst(), context().window, path.c_str(), cookie, 0);
        if (result <= 0)
            return result;
        m_open = true;
        if (KQT3Engine_Play(inst()) <= 0) {
            KQT3Engine_Close(inst());
            m_open = false;
            return kQtFailed;
        }
        return result;
    }
    int mode() override { return KQT3Engine_GetMode(inst()); }
    bool failed() override { return !KQT3Engine_IsOpen(inst()); }
    int positionMs() override { return KQT3Engine_GetPosition(inst()); }
    int lengthMs() override { return KQT3Engine_GetLength(inst()); }
    void pause() override { KQT3Engine_Pause(inst()); }
    void resume() override { KQT3Engine_Resume(inst()); }
    void seek(int ms, bool) override { KQT3Engine_Seek(inst(), ms); }
    std::string infoText(bool) override
    {
        char buffer[kInfoSize] = {};
        KQT3Engine_GetFileInfo(inst(), buffer, kInfoSize);
        return buffer;
    }
    bool sourceRect(RECT& rect) override { return KQT3Engine_GetSourceRect(inst(), &rect) > 0; }
    void setMovieRect(const RECT& rect) override { KQT3Engine_SetMovieRect(inst(), &rect); }
    bool setSpeed(int thousandths) override { return KQT3Engine_SetSpeed(inst(), thousandths) > 0; }
    bool step(bool backward) override { return KQT3Engine_Step(inst(), 1, backward) > 0; }
    std::vector<std::uint8_t> capture() override { return KQT3Engine_Capture(inst()); }

private:
    int inst() const { return context().instance; }
    bool m_open = false;
};

class QuickTimeSession final : public Session
{
public:
    using Session::Session;
    ~QuickTimeSession() override
    {
        if (m_open) {
            KQTEngine_Stop();
            KQTEngine_Close();
        }
    }
    UINT notification() const override { return 0; }
    std::int32_t open(const std::string& path, int) override
    {
        std::int32_t result = KQTEngine_Open(context().window, path.c_str(), context().sizeMode);
        if (result <= 0)
            return result;
        m_open = true;
        if (KQTEngine_Play() <= 0) {
            KQTEngine_Close();
            m_open = false;
            return kQtFailed;
        }
        return result;
    }
    int mode() override { return KQTEngine_GetMode(); }
    bool failed() override { return !KQTEngine_IsOpen(); }
    int positionMs() override { return KQTEngine_GetPosition(); }
    int lengthMs() override { return KQTEngine_GetLength(); }
    void pause() override { KQTEngine_Pause(); }
    void resume() override { KQTEngine_Resume(); }
    void seek(int ms, bool) override { KQTEngine_Seek(ms); }
    std::string infoText(bool) override
    {
        char buffer[kInfoSize] = {};
        KQTEngine_GetFileInfo(buffer, kInfoSize);
        return buffer;
    }
    bool sourceRect(RECT& rect) override { return KQTEngine_GetSourceRect(&rect) > 0; }
    void setMovieRect(const RECT& rect) override { KQTEngine_SetMovieRect(&rect); }
    bool setSpeed(int thousandths) override { return KQTEngine_SetSpeed(thousandths) > 0; }
    bool step(bool backward) override { return KQTEngine_Step(1, backward) > 0; }
    std::vector<std::uint8_t> capture() override { return KQTEngine_Capture(); }

private:
    bool m_open = false;
};

// The RealVideo engine: Open, then Play; event 1 with 526 says the picture started.
class RealVideoSession final : public Session
{
public:
    using Session::Session;
    ~RealVideoSession() override
    {
        if (m_open) {
            KRVEngine_Stop();
            KRVEngine_Close();
        }
    }
    UINT notification() const override { return kNotifyRealVideo; }
    std::int32_t open(const std::string& path, int cookie) override
    {
        std::int32_t result = KRVEngine_Open(context().window, path.c_str(), cookie);
        if (result <= 0)
            return result;
        m_open = true;
        if (KRVEngine_Play() <= 0) {
            KRVEngine_Close();
            m_open = false;
            return kRvFailed;
        }
        return result;
    }
    int mode() override { return KRVEngine_GetMode(); }
    bool failed() override { return !KRVEngine_IsOpen(); }
    int positionMs() override { return KRVEngine_GetPosition(); }
    int lengthMs() override { return KRVEngine_GetLength(); }
    void pause() override { KRVEngine_Pause(); }
    void resume() override { KRVEngine_Resume(); }
    void seek(int ms, bool) override { KRVEngine_Seek(ms); }
    std::string infoText(bool) override
    {
        char buffer[kInfoSize] = {};
        KRVEngine_GetFileInfo(buffer, kInfoSize);
        return buffer;
    }
    bool sourceRect(RECT& rect) override { return KRVEngine_GetSourceRect(&rect) > 0; }
    void setMovieRect(const RECT& rect) override { KRVEngine_SetMovieRect(&rect); }

private:
    bool m_open = false;
};

class MidiSession final : public Session
{
public:
    using Session::Session;
    ~MidiSession() override
    {
        if (m_open)
            KMIDEngine_Stop();
    }
    UINT notification() const override { return kNotifyMidi; }

    std::int32_t open(const std::string& path, int cookie) override
    {
        // A SoundFont of the user's own, when one is named (only by hand: the file is not
        // written with a default, so the installed ones stay the choice until then).
        setSoundFontChoice(Profile().GetProfileString("MIDI", "SoundFont", ""));
        const std::int32_t result = KMIDEngine_Play(context().window, path.c_str(), cookie);
        m_open = result > 0;
        return result;
    }
    bool knowsLengthAtOpen(std::int32_t result) const override
    {
        return result > 0 && result != kResultMidiLater;
    }
    int mode() override { return KMIDEngine_GetMode(); }
    bool failed() override { return !KMIDEngine_IsOpen(); }
    int positionMs() override { return KMIDEngine_GetPosition(); }
    int lengthMs() override { return KMIDEngine_GetLength(); }
    void pause() override { KMIDEngine_Pause(); }
    void resume() override { KMIDEngine_Resume(); }
    void seek(int ms, bool paused) override
    {
        // The engine keeps a paused song paused across a seek.
        (void)paused;
        KMIDEngine_Seek(ms);
    }
    std::string infoText(bool) override
    {
        char buffer[kInfoSize] = {};
        KMIDEngine_GetFileInfo(buffer, kInfoSize);
        return buffer;
    }
    int baseTempo() override { return KMIDEngine_GetTempo(); }
    bool setTempo(int tempo) override { return KMIDEngine_SetTempo(tempo) > 0; }
    bool hasKey() const override { return true; }
    int key() override { return KMIDEngine_GetKey(0); }
    bool setKey(int semitones) override { return KMIDEngine_SetKey(semitones) > 0; }
    bool isKaraoke() override { return KMIDEngine_IsKaraoke() != 0; }

private:
    bool m_open = false;
};

// IMS songs: Play opens and starts, and the length, tempo and key are known at once; the end
// and failures come as 0x798 notifications.
class ImsSession final : public Session
{
public:
    using Session::Session;
    ~ImsSession() override
    {
        if (m_open)
            KIMSEngine_Stop();
    }
    UINT notification() const override { return kNotifyMidi; }

    std::int32_t open(const std::string& path, int cookie) override
    {
        const std::int32_t result = KIMSEngine_Play(context().window, path.c_str(), cookie);
        m_open = result > 0;
        return result;
    }
    int mode() override { return KIMSEngine_GetMode(); }
    bool failed() override { return !KIMSEngine_IsOpen(); }
    int positionMs() override { return KIMSEngine_GetPosition(); }
    int lengthMs() override { return KIMSEngine_GetLength(); }
    void pause() override { KIMSEngine_Pause(); }
    void resume() override { KIMSEngine_Resume(); }
    void seek(int ms, bool paused) override
    {
        KIMSEngine_Seek(ms);
        if (paused)
            KIMSEngine_Pause();
    }
    std::string infoText(bool atOpen) override
    {
        if (atOpen && !context().settings->viewFileInfo)
            return {};
        char buffer[kInfoSize] = {};
        KIMSEngine_GetFileInfo(buffer, kInfoSize);
        return buffer;
    }
    int baseTempo() override { return KIMSEngine_GetTempo(); }
    bool setTempo(int tempo) override { return KIMSEngine_SetTempo(tempo) > 0; }
    bool hasKey() const override { return true; }
    int key() override { return KIMSEngine_GetKey(0); }
    bool setKey(int semitones) override { return KIMSEngine_SetKey(semitones) > 0; }

private:
    bool m_open = false;
};

// Tracker modules: Open, then Play, with the designed output integers; polled, no notices.
// Tempo is in percent of the module's own, as libopenmpt takes it.
class ModuleSession final : public Session
{
public:
    using Session::Session;
    ~ModuleSession() override
    {
        if (m_open) {
            KMODEngine_Stop();
            KMODEngine_Close();
        }
    }
    UINT notification() const override { return 0; }

    std::int32_t open(const std::string& path, int cookie) override
    {
        const int output[6] = {44100, 1, 1, 0, 0, 1};
        std::int32_t result = KMODEngine_Open(context().window, path.c_str(), cookie, output);
        if (result <= 0)
            return result;
        m_open = true;
        result = KMODEngine_Play();
        if (result <= 0) {
            KMODEngine_Close();
            m_open = false;
        }
        return result;
    }
    int mode() override { return KMODEngine_GetMode(); }
    bool failed() override { return !KMODEngine_IsOpen(); }
    int positionMs() override { return KMODEngine_GetPosition(); }
    int lengthMs() override { return KMODEngine_GetLength(); }
    void pause() override { KMODEngine_Pause(); }
    void resume() override { KMODEngine_Resume(); }
    // The engine keeps a paused module paused across a seek.
    void seek(int ms, bool) override { KMODEngine_Seek(ms); }
    std::string infoText(bool atOpen) override
    {
        if (atOpen && !context().settings->viewFileInfo)
            return {};
        char buffer[kInfoSize] = {};
        KMODEngine_GetFileInfo(buffer, kInfoSize);
        return buffer;
    }
    int baseTempo() override { return 100; }
    bool setTempo(int tempo) override { return setModuleTempo(tempo); }
    bool hasKey() const override { return true; }
    bool setKey(int semitones) override
    {
        if (!setModuleKey(semitones))
            return false;
        m_key = semitones;
        return true;
    }
    int key() override { return m_key; }

private:
    bool m_open = false;
    int m_key = 0;
};

template <typename T>
std::unique_ptr<Session> make(const EngineFamily& family, const SessionContext& context)
{
    return std::make_unique<T>(family, context);
}

} // namespace

const EngineFamily kMpegEngine{"KMPEngine_", "MPEG engine", [](const SessionContext& c) {
                                   return make<MpegSession>(kMpegEngine, c);
                               }};
const EngineFamily kRealAudioEngine{"KRAEngine_", "RealAudio engine", [](const SessionContext& c) {
                                        return make<RealAudioSession>(kRealAudioEngine, c);
                                    }};
const EngineFamily kGeneralEngine{"KAMEngine_", "general engine", [](const SessionContext& c) {
                                      return make<GeneralSession>(kGeneralEngine, c);
                                  }};
const EngineFamily kQuickTime3Engine{
    "KQT3Engine_", "QuickTime 3 engine",
    [](const SessionContext& c) { return make<QuickTime3Session>(kQuickTime3Engine, c); }};
const EngineFamily kQuickTimeEngine{"KQTEngine_", "QuickTime engine", [](const SessionContext& c) {
                                        return make<QuickTimeSession>(kQuickTimeEngine, c);
                                    }};
const EngineFamily kRealVideoEngine{"KRVEngine_", "RealVideo engine", [](const SessionContext& c) {
                                        return make<RealVideoSession>(kRealVideoEngine, c);
                                    }};
const EngineFamily kMidiEngine{"KMIDEngine_", "MIDI engine", [](const SessionContext& c) {
                                   return make<MidiSession>(kMidiEngine, c);
                               }};
const EngineFamily kMciDevice{
    "MCI", "media device", [](const SessionContext& c) { return make<MciSession>(kMciDevice, c); }};
const EngineFamily kImsEngine{"KIMSEngine_", "IMS engine", [](const SessionContext& c) {
                                  return make<ImsSession>(kImsEngine, c);
                              }};
const EngineFamily kModuleEngine{"KMODEngine_", "module engine", [](const SessionContext& c) {
                                     return make<ModuleSession>(kModuleEngine, c);
                                 }};

} // namespace engines
