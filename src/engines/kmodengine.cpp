#include "engines/kmodengine.h"

#include "engines/engineapi.h"
#include "engines/enginesupport.h"
#include "engines/renderedplayback.h"
#include "engines/session.h"
#include "platform/log.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace {

using namespace engines;

// Larger files are not modules anyone wrote; reading them would only cost memory.
constexpr std::streamoff kMaxModuleBytes = 256 << 20;

struct ModuleDeleter
{
    void operator()(openmpt_module* m) const { openmpt_module_destroy(m); }
};
using ModulePtr = std::unique_ptr<openmpt_module, ModuleDeleter>;

std::string takeString(const char* text)
{
    std::string s = text ? text : "";
    openmpt_free_string(text);
    return s;
}

struct ModOptions
{
    int rate = 44100;
    bool stereo = true;
    bool interpolation = true;
    bool ramping = true;
};

ModulePtr loadModule(const std::string& bytes, std::string* why)
{
    int error = 0;
    const char* message = nullptr;
    openmpt_module* m = openmpt_module_create_from_memory2(
        bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_store,
        nullptr, &error, &message, nullptr);
    const std::string text = takeString(message);
    if (!m && why)
        *why = text.empty() ? "libopenmpt does not read it" : text;
    // A module of several sub-songs (game music often is) plays them all, one after another,
    // as the tracker players do; which one libopenmpt 0.6 picks by itself is left open.
    if (m)
        openmpt_module_select_subsong(m, -1);
    return ModulePtr(m);
}

class ModRenderer final : public PcmRenderer
{
public:
    ModRenderer(ModulePtr module, const ModOptions& options)
        : m_module(std::move(module))
        , m_options(options)
    {
        openmpt_module_set_render_param(m_module.get(),
                                        OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH,
                                        options.interpolation ? 0 : 1);
        openmpt_module_set_render_param(
            m_module.get(), OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH, options.ramping ? -1 : 0);
        // A seek into a held note goes on sounding it, as the slider's user expects.
        openmpt_module_ctl_set_boolean(m_module.get(), "seek.sync_samples", 1);
    }
    size_t render(std::int16_t* pcm, size_t frames) override
    {
        const size_t n =
            m_options.stereo
                ? openmpt_module_read_interleaved_stereo(m_module.get(), m_options.rate, frames,
                                                         pcm)
                : openmpt_module_read_mono(m_module.get(), m_options.rate, frames, pcm);
        m_songMs += static_cast<double>(n) * 1000.0 / m_options.rate * m_tempo;
        return n;
    }
    // libopenmpt counts its position in time as played, which a tempo factor stretches; the
    // song's own time is counted here.
    std::int64_t songMs() override { return std::llround(m_songMs); }
    void seek(std::int64_t ms) override
    {
        openmpt_module_ctl_set_floatingpoint(m_module.get(), "play.tempo_factor", 1.0);
        m_songMs = 1000.0 * openmpt_module_set_position_seconds(m_module.get(),
                                                                static_cast<double>(ms) / 1000.0);
        openmpt_module_ctl_set_floatingpoint(m_module.get(), "play.tempo_factor", m_tempo);
    }
    void setTempo(double factor)
    {
        m_tempo = factor;
        openmpt_module_ctl_set_floatingpoint(m_module.get(), "play.tempo_factor", factor);
    }
    void setPitch(double factor)
    {
        openmpt_module_ctl_set_floatingpoint(m_module.get(), "play.pitch_factor", factor);
    }

private:
    ModulePtr m_module;
    ModOptions m_options;
    double m_tempo = 1.0;
    double m_songMs = 0;
};

struct ModEngine
{
    std::mutex mutex;
    bool open = false;
    std::string bytes;
    std::string info;
    std::int32_t lengthMs = 0;
    ModOptions options;
    int tempoPercent = 100;
    int key = 0;
    std::unique_ptr<RenderedPlayback> playback;
};

ModEngine& engine()
{
    static ModEngine e;
    return e;
}

void applyTempoKey(ModEngine& e)
{
    if (!e.playback)
        return;
    const double tempo = e.tempoPercent / 100.0;
    const double pitch = std::pow(2.0, e.key / 12.0);
    e.playback->withRenderer([&](PcmRenderer& r) {
        auto& m = static_cast<ModRenderer&>(r);
        m.setTempo(tempo);
        m.setPitch(pitch);
    });
}

std::string describe(openmpt_module* m)
{
    std::string type = takeString(openmpt_module_get_metadata(m, "type_long"));
    const std::string ext = takeString(openmpt_module_get_metadata(m, "type"));
    if (!ext.empty()) {
        if (!type.empty())
            type += ' ';
        type.append("(").append(ext).append(")");
    }
    const int channels = openmpt_module_get_num_channels(m);
    int instruments = openmpt_module_get_num_instruments(m);
    // Formats without instruments play their samples as such.
    if (instruments <= 0)
        instruments = openmpt_module_get_num_samples(m);
    std::string text = type;
    text.append(", ").append(std::to_string(channels)).append(" channels, ");
    text.append(std::to_string(instruments)).append(" instruments");
    const std::string title = takeString(openmpt_module_get_metadata(m, "title"));
    if (!title.empty())
        text += "        Title : " + title;
    return text;
}

template <typename Op>
std::int32_t withPlayback(Op op)
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? op(*e.playback) : 0;
}

} // namespace

std::int32_t KMODEngine_Open(HWND, const char* path, int, const int* options)
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.playback.reset();
    e.open = false;
    e.bytes.clear();
    const std::string file = path ? path : "";
    if (!fileReachable(file))
        return kModNotFound;
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0 || size > kMaxModuleBytes) {
        KLOG_INFO("engines", "%s: too large to be a module", failureText(OpenFailure::NotPlayable));
        return kModFailed;
    }
    in.seekg(0);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!in.read(bytes.data(), size))
        return kModNotFound;
    std::string why;
    ModulePtr m = loadModule(bytes, &why);
    if (!m) {
        KLOG_INFO("engines", "%s: %s", failureText(OpenFailure::NotPlayable), why.c_str());
        return kModFailed;
    }
    ModOptions o;
    if (options) {
        o.rate = std::clamp(options[0], 8000, 192000);
        o.stereo = options[1] != 0;
        o.interpolation = options[2] != 0;
        o.ramping = options[5] != 0;
    }
    e.options = o;
    e.info = describe(m.get());
    e.lengthMs = static_cast<std::int32_t>(
        std::clamp(openmpt_module_get_duration_seconds(m.get()) * 1000.0, 0.0, 2147483647.0));
    e.bytes = std::move(bytes);
    e.open = true;
    e.tempoPercent = 100;
    e.key = 0;
    return 1;
}

std::int32_t KMODEngine_Play()
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.open)
        return kModFailed;
    if (e.playback) {
        // Paused or playing already: go on.
        e.playback->resume();
        return 1;
    }
    ModulePtr m = loadModule(e.bytes, nullptr);
    if (!m)
        return kModFailed;
    auto renderer = std::make_unique<ModRenderer>(std::move(m), e.options);
    RenderedPlayback::Callbacks callbacks;
    callbacks.failed = [](const std::string& why) {
        KLOG_WARNING("engines", "the module engine's sound output failed: %s", why.c_str());
    };
    e.playback = std::make_unique<RenderedPlayback>(
        std::move(renderer), PcmFormat{e.options.rate, e.options.stereo ? 2 : 1},
        std::move(callbacks));
    applyTempoKey(e);
    e.playback->start();
    return 1;
}

std::int32_t KMODEngine_Stop()
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.playback.reset();
    return 1;
}

std::int32_t KMODEngine_Close()
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.playback.reset();
    e.open = false;
    e.bytes.clear();
    e.info.clear();
    e.lengthMs = 0;
    return 1;
}

std::int32_t KMODEngine_Pause()
{
    return withPlayback([](RenderedPlayback& p) { return p.pause() ? 1 : 0; });
}

std::int32_t KMODEngine_Resume()
{
    return withPlayback([](RenderedPlayback& p) { return p.resume() ? 1 : 0; });
}

std::int32_t KMODEngine_Seek(int ms)
{
    return withPlayback([ms](RenderedPlayback& p) {
        p.seek(ms);
        return 1;
    });
}

std::int32_t KMODEngine_GetPosition()
{
    return withPlayback([](RenderedPlayback& p) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(p.positionMs(), 0, INT32_MAX));
    });
}

std::int32_t KMODEngine_GetLength()
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.open ? e.lengthMs : 0;
}

std::int32_t KMODEngine_GetMode()
{
    const std::int32_t mode = withPlayback([](RenderedPlayback& p) { return p.mode(); });
    return mode ? mode : kModeStopped;
}

std::int32_t KMODEngine_IsOpen()
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.open && !(e.playback && e.playback->failed()) ? 1 : 0;
}

std::int32_t KMODEngine_GetFileInfo(char* buffer, int size)
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return copyText(buffer, size, e.open ? e.info : std::string());
}

namespace engines {

bool setModuleTempo(int percent)
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.open)
        return false;
    e.tempoPercent = std::clamp(percent, 10, 500);
    applyTempoKey(e);
    return true;
}

bool setModuleKey(int semitones)
{
    ModEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.open)
        return false;
    e.key = std::clamp(semitones, -12, 12);
    applyTempoKey(e);
    return true;
}

} // namespace engines
