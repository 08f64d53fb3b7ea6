#include "engines/outputchain.h"

#include "engines/gstglue.h"
#include "platform/profile.h"

#include <gst/audio/audio.h>
#include <gst/base/gstbasesink.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace engines {

namespace {

using Clock = std::chrono::steady_clock;

// Analysis taps stay this long after the last reader.
constexpr auto kTapsLinger = std::chrono::seconds(3);
// The spectrum element's resolution: 256 bins over half the sample rate.
constexpr int kAnalysisBins = 256;
constexpr double kFloorDb = -80.0;

std::mutex g_overrideMutex;
std::string g_sinkOverride;

std::mutex g_registryMutex;
std::vector<OutputChain*> g_chains;

// Lower edges of the 20 display bands (and the top of the last), geometric from 50 Hz.
const std::array<double, kSpectrumBands + 1>& bandEdges()
{
    static const auto edges = [] {
        std::array<double, kSpectrumBands + 1> e{};
        for (int k = 0; k <= kSpectrumBands; ++k)
            e[k] = 50.0 * std::pow(16000.0 / 50.0, k / static_cast<double>(kSpectrumBands));
        return e;
    }();
    return edges;
}

} // namespace

std::string audioSinkDescription()
{
    {
        std::lock_guard lock(g_overrideMutex);
        if (!g_sinkOverride.empty())
            return g_sinkOverride;
    }
    if (const char* env = std::getenv("KOLVO_AUDIO_SINK"); env && *env)
        return env;
    const Profile profile;
    const std::string device = profile.GetProfileString("Output", "Device", "");
    if (!device.empty() && device.find_first_of(" !\"'") == std::string::npos)
        return "pulsesink device=" + device;
    return "pulsesink";
}

void setAudioSinkOverride(const std::string& description)
{
    std::lock_guard lock(g_overrideMutex);
    g_sinkOverride = description;
}

OutputChain::OutputChain(ChainRole role, OutputOptions options)
    : m_role(role)
    , m_options(std::move(options))
{}

OutputChain::~OutputChain()
{
    if (m_listenerId)
        removeEffectsListener(m_listenerId);
    if (m_registered) {
        std::lock_guard lock(g_registryMutex);
        g_chains.erase(std::remove(g_chains.begin(), g_chains.end(), this), g_chains.end());
    }
}

bool OutputChain::build(GstBin* pipeline, std::string* error)
{
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    m_bin = pipeline;

    GstElement* convertIn = makeElement("audioconvert");
    GstElement* resampleIn = makeElement("audioresample");
    GstElement* capsIn = makeElement("capsfilter");
    GstElement* stereo = makeElement("kolvostereo");
    m_scale = makeElement("kolvoscale");
    m_equalizer = makeElement("equalizer-nbands");
    m_threeD = makeElement("kolvo3d");
    m_wide = makeElement("kolvowide");
    m_fx = makeElement("kolvofx");
    m_fade = makeElement("kolvofade");
    GstElement* convertOut = makeElement("audioconvert");
    GstElement* resampleOut = makeElement("audioresample");
    for (GstElement* e : {convertIn, resampleIn, capsIn, stereo, m_scale, m_equalizer, m_threeD,
                          m_wide, m_fx, m_fade, convertOut, resampleOut}) {
        if (!e)
            return fail("a GStreamer element of the output chain is missing");
    }

    // Mono stays mono up to kolvostereo, which copies it to both sides far more cheaply than
    // audioconvert's channel mixer; more channels than two are mixed down by audioconvert.
    std::string capsText =
        "audio/x-raw,format=" GST_AUDIO_NE(F32) ",layout=interleaved,channels=[1,2]";
    if (m_options.quality == 1)
        capsText += ",rate=[1,24000]";
    else if (m_options.quality >= 2)
        capsText += ",rate=[1,12000]";
    const CapsRef caps(gst_caps_from_string(capsText.c_str()));
    g_object_set(capsIn, "caps", caps.get(), nullptr);

    g_object_set(m_equalizer, "num-bands", kEqualizerBands, nullptr);
    for (int i = 0; i < kEqualizerBands; ++i) {
        // The bands are GstObjects; the equalizer keeps them.
        const GstRef<GObject> band(
            gst_child_proxy_get_child_by_index(GST_CHILD_PROXY(m_equalizer), i));
        g_object_set(band.get(), "freq", equalizerCentre(i), "bandwidth", equalizerWidth(i), "gain",
                     0.0, nullptr);
        m_bands[i] = Glide{band.get(), "gain", 0, 0, 60.0}; // 60 dB a second
    }

    // The sink section.
    GError* err = nullptr;
    const std::string sinkText = m_options.sink.empty() ? audioSinkDescription() : m_options.sink;
    GstElement* cardSink = nullptr;
    GstElement* audioSink = nullptr;
    if (m_options.outputType != 1) {
        cardSink = gst_parse_bin_from_description(sinkText.c_str(), TRUE, &err);
        if (!cardSink) {
            std::string why = err ? err->message : "unknown reason";
            if (err)
                g_error_free(err);
            return fail("the audio output \"" + sinkText + "\" cannot be made: " + why);
        }
        // The sound card buffer follows BufferCount unless the description sets its own. The
        // pipeline keeps time by the system clock, with the card not slaved to it: a sound
        // server's stream clock can stand still after a seek made while paused (PulseAudio
        // does), and a standing clock would hold the end of the song back for ever.
        GstIterator* it = gst_bin_iterate_recurse(GST_BIN(cardSink));
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            auto* e = GST_ELEMENT(g_value_get_object(&item));
            if (GST_IS_AUDIO_BASE_SINK(e)) {
                audioSink = e;
                if (sinkText.find("buffer-time") == std::string::npos) {
                    const gint64 us = std::clamp(m_options.bufferCount, 2, 100) * 20000LL;
                    g_object_set(e, "buffer-time", us, nullptr);
                }
                if (sinkText.find("provide-clock") == std::string::npos)
                    g_object_set(e, "provide-clock", FALSE, nullptr);
                if (sinkText.find("slave-method") == std::string::npos)
                    gst_util_set_object_arg(G_OBJECT(e), "slave-method", "none");
            }
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
        m_sink = cardSink;
    }
    GstElement* fileBranch = nullptr;
    if (m_options.outputType == 1 || m_options.outputType == 2) {
        if (m_options.wavFile.empty())
            return fail("no WAVE file to write to");
        const std::string desc = "audioconvert ! audio/x-raw,format=S16LE ! wavenc ! filesink";
        fileBranch = gst_parse_bin_from_description(desc.c_str(), TRUE, &err);
        if (!fileBranch) {
            if (err)
                g_error_free(err);
            return fail("the WAVE writer cannot be made");
        }
        GstIterator* it = gst_bin_iterate_elements(GST_BIN(fileBranch));
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            auto* e = GST_ELEMENT(g_value_get_object(&item));
            if (g_object_class_find_property(G_OBJECT_GET_CLASS(e), "location"))
                g_object_set(e, "location", m_options.wavFile.c_str(), nullptr);
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
        if (!m_sink)
            m_sink = fileBranch;
    }

    gst_bin_add_many(pipeline, convertIn, resampleIn, capsIn, stereo, m_scale, m_equalizer,
                     m_threeD, m_wide, m_fx, m_fade, convertOut, resampleOut, nullptr);
    if (!gst_element_link_many(convertIn, resampleIn, capsIn, stereo, m_scale, m_equalizer,
                               m_threeD, m_wide, m_fx, m_fade, convertOut, resampleOut, nullptr))
        return fail("the output chain cannot be linked");
    m_out = convertOut;

    GstElement* last = resampleOut;
    if (cardSink && fileBranch) {
        GstElement* tee = makeElement("tee");
        GstElement* q1 = makeElement("queue");
        GstElement* q2 = makeElement("queue");
        gst_bin_add_many(pipeline, tee, q1, q2, cardSink, fileBranch, nullptr);
        if (!gst_element_link(last, tee) || !gst_element_link_many(tee, q1, cardSink, nullptr) ||
            !gst_element_link_many(tee, q2, fileBranch, nullptr))
            return fail("the output chain cannot be linked");
    } else {
        GstElement* sink = cardSink ? cardSink : fileBranch;
        gst_bin_add(pipeline, sink);
        if (!gst_element_link(last, sink))
            return fail("the audio output cannot take the chain's sound");
    }

    m_cardSink = audioSink;
    m_sinkPad.reset(gst_element_get_static_pad(convertIn, "sink"));
    const GstRef<GstPad> capsSrc(gst_element_get_static_pad(capsIn, "src"));
    gst_pad_add_probe(capsSrc.get(), GST_PAD_PROBE_TYPE_BUFFER, bufferProbe, this, nullptr);
    const GstRef<GstPad> outSrc(gst_element_get_static_pad(resampleOut, "src"));
    gst_pad_add_probe(outSrc.get(), GST_PAD_PROBE_TYPE_BUFFER, firstBufferProbe, this, nullptr);
    // The sink that keeps time: the sound card's when there is one.
    GstElement* timedSink = cardSink ? cardSink : fileBranch;
    if (GST_IS_BIN(timedSink)) {
        GstIterator* it = gst_bin_iterate_recurse(GST_BIN(timedSink));
        GValue item = G_VALUE_INIT;
        GstElement* found = nullptr;
        while (!found && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            auto* e = GST_ELEMENT(g_value_get_object(&item));
            if (GST_IS_BASE_SINK(e))
                found = e;
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
        timedSink = found;
    }
    if (timedSink) {
        const GstRef<GstPad> pad(gst_element_get_static_pad(timedSink, "sink"));
        if (pad)
            gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_DATA_DOWNSTREAM, sinkMoveProbe, this,
                              nullptr);
    }

    setChannel(m_options.channel);
    setScale(m_options.agc, m_options.scaleValue);
    applyEffects();
    applyEqualizer();
    m_listenerId = addEffectsListener([this] {
        applyEffects();
        applyEqualizer();
    });
    {
        std::lock_guard lock(g_registryMutex);
        g_chains.push_back(this);
        m_registered = true;
    }
    return true;
}

void OutputChain::setChannel(int channel)
{
    std::lock_guard lock(m_mutex);
    m_options.channel = std::clamp(channel, 0, 3);
    if (m_scale)
        g_object_set(m_scale, "channel", m_options.channel, nullptr);
}

void OutputChain::setScale(bool agc, int value)
{
    std::lock_guard lock(m_mutex);
    m_options.agc = agc;
    m_options.scaleValue = value;
    if (m_scale) {
        const float gain = std::clamp(static_cast<float>(value) / 32768.0f, 0.0f, 4.0f);
        g_object_set(m_scale, "agc", agc ? TRUE : FALSE, "gain", gain, nullptr);
    }
}

void OutputChain::applyEffects()
{
    std::lock_guard lock(m_mutex);
    if (!m_scale)
        return;
    m_effects = currentEffects();
    const EffectSettings& s = m_effects;
    g_object_set(m_threeD, "enabled", s.chorus ? TRUE : FALSE, "depth", s.chorusDepth, nullptr);
    g_object_set(m_wide, "enabled", s.wide ? TRUE : FALSE, "depth", s.wideDepth, nullptr);
    g_object_set(m_fx, "enabled", s.fx ? TRUE : FALSE, "mode", s.fxMode, nullptr);

    m_reverbLevel.target = s.reverb ? reverbLevel(s.reverbDepth) : 0.0;
    if (m_reverb) {
        const ReverbRoom room = reverbRoom(s.reverbMode);
        g_object_set(m_reverb, "room-size", room.roomSize, "damping", room.damping, "width",
                     room.width, nullptr);
    } else if (s.reverb) {
        requestReverb();
    }

    m_pitchRatio = std::pow(2.0, fxPitchSemitones(s.fx ? s.fxMode : 0) / 12.0);
    if (!m_pitch && wantsPitch(s))
        requestPitch();
}

void OutputChain::applyEqualizer()
{
    std::lock_guard lock(m_mutex);
    const EqualizerCurve curve = currentEqualizer();
    for (int i = 0; i < kEqualizerBands; ++i)
        m_bands[i].target = curve[i];
}

// Runs on the streaming thread for every buffer entering the effects: moves the glides of the
// GStreamer elements, which have no gliding of their own, by the buffer's duration.
void OutputChain::onBuffer(GstBuffer* buffer)
{
    double seconds = 0.01;
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        seconds = static_cast<double>(GST_BUFFER_DURATION(buffer)) / GST_SECOND;
    std::lock_guard lock(m_mutex);
    const auto step = [&](Glide& g) {
        if (!g.object || g.value == g.target)
            return;
        const double delta = g.perSecond * seconds;
        g.value = g.value < g.target ? std::min(g.target, g.value + delta)
                                     : std::max(g.target, g.value - delta);
        if (std::string_view(g.property) == "gain")
            g_object_set(g.object, g.property, g.value, nullptr);
        else
            g_object_set(g.object, g.property, static_cast<float>(g.value), nullptr);
    };
    for (Glide& band : m_bands)
        step(band);
    step(m_reverbLevel);
    if (m_pitch)
        stepPitch(seconds);

    if (m_tapsIn && !m_tapsPending && Clock::now() - m_tapsWanted > kTapsLinger)
        requestTaps(false);
}

GstPadProbeReturn OutputChain::bufferProbe(GstPad*, GstPadProbeInfo* info, gpointer self)
{
    static_cast<OutputChain*>(self)->onBuffer(GST_PAD_PROBE_INFO_BUFFER(info));
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OutputChain::firstBufferProbe(GstPad*, GstPadProbeInfo*, gpointer selfPtr)
{
    auto* self = static_cast<OutputChain*>(selfPtr);
    std::lock_guard lock(self->m_mutex);
    if (self->m_firstBuffer == Clock::time_point{})
        self->m_firstBuffer = Clock::now();
    return GST_PAD_PROBE_REMOVE;
}

// Runs on the sink's streaming thread, which comes here only once the sink has finished with
// what it had before.
GstPadProbeReturn OutputChain::sinkMoveProbe(GstPad* pad, GstPadProbeInfo*, gpointer selfPtr)
{
    const GstRef<GstElement> sink(gst_pad_get_parent_element(pad));
    if (!sink)
        return GST_PAD_PROBE_OK;
    GST_OBJECT_LOCK(sink.get());
    const bool playing = GST_STATE(sink.get()) == GST_STATE_PLAYING;
    GST_OBJECT_UNLOCK(sink.get());
    if (playing)
        ++static_cast<OutputChain*>(selfPtr)->m_sinkMoves;
    return GST_PAD_PROBE_OK;
}

Clock::time_point OutputChain::firstBufferAt() const
{
    std::lock_guard lock(m_mutex);
    return m_firstBuffer;
}

// Called on the streaming thread with the pad before `element` blocked: no data flows there.
void OutputChain::insertBetween(GstElement* before, GstElement* element, GstElement* after)
{
    gst_element_unlink(before, after);
    gst_bin_add(m_bin, element);
    gst_element_link_many(before, element, after, nullptr);
    gst_element_sync_state_with_parent(element);
}

void OutputChain::requestReverb()
{
    if (m_reverbPending || m_reverb)
        return;
    m_reverbPending = true;
    const GstRef<GstPad> pad(gst_element_get_static_pad(m_equalizer, "src"));
    gst_pad_add_probe(
        pad.get(),
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
        reverbProbe, this, nullptr);
}

GstPadProbeReturn OutputChain::reverbProbe(GstPad*, GstPadProbeInfo*, gpointer selfPtr)
{
    auto* self = static_cast<OutputChain*>(selfPtr);
    std::lock_guard lock(self->m_mutex);
    GstElement* reverb = makeElement("freeverb");
    self->m_reverbPending = false;
    if (!reverb)
        return GST_PAD_PROBE_REMOVE;
    const ReverbRoom room = reverbRoom(self->m_effects.reverbMode);
    // It comes in dry (level 0 is exactly the input) and the level glides up from there.
    g_object_set(reverb, "room-size", room.roomSize, "damping", room.damping, "width", room.width,
                 "level", 0.0f, nullptr);
    self->insertBetween(self->m_equalizer, reverb, self->m_threeD);
    self->m_reverb = reverb;
    self->m_reverbLevel.object = G_OBJECT(reverb);
    self->m_reverbLevel.property = "level";
    self->m_reverbLevel.value = 0;
    self->m_reverbLevel.perSecond = 2.0;
    return GST_PAD_PROBE_REMOVE;
}

void OutputChain::requestPitch()
{
    if (m_pitchPending || m_pitch)
        return;
    m_pitchPending = true;
    g_object_set(m_fade, "duration", 10, "target", 0.0f, nullptr);
    const GstRef<GstPad> pad(gst_element_get_static_pad(m_fx, "src"));
    gst_pad_add_probe(
        pad.get(),
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
        pitchProbe, this, nullptr);
}

GstPadProbeReturn OutputChain::pitchProbe(GstPad*, GstPadProbeInfo*, gpointer selfPtr)
{
    auto* self = static_cast<OutputChain*>(selfPtr);
    std::lock_guard lock(self->m_mutex);
    gboolean silent = FALSE;
    g_object_get(self->m_fade, "silent", &silent, nullptr);
    if (!silent)
        return GST_PAD_PROBE_PASS; // let the fade-out finish on the buffers before this one
    self->m_pitchPending = false;
    GstElement* pitch = makeElement("pitch");
    if (pitch) {
        const double ratio = self->m_pitchRatio == 1.0 ? 1.0001 : self->m_pitchRatio;
        g_object_set(pitch, "pitch", static_cast<float>(ratio), nullptr);
        self->insertBetween(self->m_fx, pitch, self->m_fade);
        self->m_pitch = pitch;
        self->m_pitchApplied = ratio;
    }
    g_object_set(self->m_fade, "target", 1.0f, nullptr);
    return GST_PAD_PROBE_REMOVE;
}

// The pitch shifter works one way for shifts up and another for shifts down, and changing
// over makes it jump. So "no shift" stays a hair on the side it was on, a change within one side
// is made at once, and a change over is made behind a short fade, held until the jump is over.
void OutputChain::stepPitch(double seconds)
{
    constexpr double kHairUp = 1.0001, kHairDown = 0.9999;
    const bool appliedUp = m_pitchApplied > 1.0;
    double wanted = m_pitchRatio;
    if (wanted == 1.0)
        wanted = appliedUp ? kHairUp : kHairDown;
    switch (m_pitchStep) {
    case PitchStep::Steady:
        if (wanted == m_pitchApplied)
            break;
        if ((wanted > 1.0) == appliedUp) {
            g_object_set(m_pitch, "pitch", static_cast<float>(wanted), nullptr);
            m_pitchApplied = wanted;
        } else {
            g_object_set(m_fade, "duration", 10, "target", 0.0f, nullptr);
            m_pitchStep = PitchStep::FadingOut;
        }
        break;
    case PitchStep::FadingOut: {
        gboolean silent = FALSE;
        g_object_get(m_fade, "silent", &silent, nullptr);
        if (silent) {
            g_object_set(m_pitch, "pitch", static_cast<float>(wanted), nullptr);
            m_pitchApplied = wanted;
            m_pitchHold = 0.05;
            m_pitchStep = PitchStep::Holding;
        }
        break;
    }
    case PitchStep::Holding:
        m_pitchHold -= seconds;
        if (m_pitchHold <= 0) {
            g_object_set(m_fade, "target", 1.0f, nullptr);
            m_pitchStep = PitchStep::Steady;
        }
        break;
    }
}

void OutputChain::keepTaps()
{
    std::lock_guard lock(m_mutex);
    m_tapsWanted = Clock::now();
    if (!m_tapsIn && m_fade)
        requestTaps(true);
}

void OutputChain::requestTaps(bool in)
{
    if (m_tapsPending || m_tapsIn == in)
        return;
    m_tapsPending = true;
    const GstRef<GstPad> pad(gst_element_get_static_pad(m_fade, "src"));
    gst_pad_add_probe(
        pad.get(),
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
        tapsProbe, this, nullptr);
}

GstPadProbeReturn OutputChain::tapsProbe(GstPad*, GstPadProbeInfo*, gpointer selfPtr)
{
    auto* self = static_cast<OutputChain*>(selfPtr);
    std::lock_guard lock(self->m_mutex);
    self->m_tapsPending = false;
    if (!self->m_tapsIn) {
        if (!self->m_spectrum) {
            const auto make = [](const char* factory) {
                GstElement* e = makeElement(factory);
                // Kept alive between insertions, so they can go in and out repeatedly.
                return GstRef<GstElement>(e ? GST_ELEMENT(gst_object_ref_sink(e)) : nullptr);
            };
            GstRef<GstElement> spectrum = make("spectrum");
            GstRef<GstElement> level = make("level");
            if (!spectrum || !level)
                return GST_PAD_PROBE_REMOVE;
            g_object_set(spectrum.get(), "bands", kAnalysisBins, "threshold",
                         static_cast<int>(kFloorDb), "interval", 50 * GST_MSECOND, "post-messages",
                         TRUE, "message-phase", FALSE, "multi-channel", FALSE, nullptr);
            g_object_set(level.get(), "interval", 50 * GST_MSECOND, "post-messages", TRUE, nullptr);
            self->m_spectrum = std::move(spectrum);
            self->m_level = std::move(level);
        }
        GstElement* spectrum = self->m_spectrum.get();
        GstElement* level = self->m_level.get();
        gst_element_unlink(self->m_fade, self->m_out);
        gst_bin_add_many(self->m_bin, spectrum, level, nullptr);
        gst_element_link_many(self->m_fade, spectrum, level, self->m_out, nullptr);
        gst_element_sync_state_with_parent(spectrum);
        gst_element_sync_state_with_parent(level);
        self->m_tapsIn = true;
    } else {
        // Analysers change nothing in the sound, so taking them out leaves no seam.
        GstElement* spectrum = self->m_spectrum.get();
        GstElement* level = self->m_level.get();
        gst_element_unlink_many(self->m_fade, spectrum, level, self->m_out, nullptr);
        gst_element_link(self->m_fade, self->m_out);
        gst_element_set_state(spectrum, GST_STATE_NULL);
        gst_element_set_state(level, GST_STATE_NULL);
        gst_bin_remove_many(self->m_bin, spectrum, level, nullptr);
        self->m_tapsIn = false;
        self->m_analysis.clear();
        self->m_rms = {};
    }
    return GST_PAD_PROBE_REMOVE;
}

void OutputChain::setSounding(bool sounding)
{
    std::lock_guard lock(m_mutex);
    m_sounding = sounding;
}

bool OutputChain::sounding() const
{
    std::lock_guard lock(m_mutex);
    return m_sounding;
}

void OutputChain::flushAnalysis()
{
    std::lock_guard lock(m_mutex);
    m_analysis.clear();
    m_rms = {};
}

void OutputChain::bandsFromMagnitudes(const GValue* list, Analysis& a)
{
    const guint n = gst_value_list_get_size(list);
    if (n == 0)
        return;
    std::vector<float> db(n);
    for (guint i = 0; i < n; ++i)
        db[i] = g_value_get_float(gst_value_list_get_value(list, i));
    const double binHz = m_analysisRate / 2.0 / n;
    const auto& edges = bandEdges();
    for (int k = 0; k < kSpectrumBands; ++k) {
        float best = static_cast<float>(kFloorDb);
        bool any = false;
        for (guint i = 0; i < n; ++i) {
            const double centre = (i + 0.5) * binHz;
            if (centre >= edges[k] && centre < edges[k + 1]) {
                best = std::max(best, db[i]);
                any = true;
            }
        }
        if (!any) {
            const double centre = std::sqrt(edges[k] * edges[k + 1]);
            const auto i = static_cast<guint>(std::clamp(centre / binHz, 0.0, n - 1.0));
            best = db[i];
        }
        a.bands[k] = best;
    }
    a.hasSpectrum = true;
}

void OutputChain::handleElementMessage(GstMessage* message)
{
    const GstStructure* s = gst_message_get_structure(message);
    if (!s)
        return;
    std::lock_guard lock(m_mutex);
    const bool fromSpectrum =
        m_spectrum && GST_MESSAGE_SRC(message) == GST_OBJECT(m_spectrum.get());
    const bool fromLevel = m_level && GST_MESSAGE_SRC(message) == GST_OBJECT(m_level.get());
    if (fromSpectrum && gst_structure_has_name(s, "spectrum")) {
        const GstRef<GstPad> pad(gst_element_get_static_pad(m_spectrum.get(), "sink"));
        if (const CapsRef caps{gst_pad_get_current_caps(pad.get())}) {
            gint rate = 0;
            if (gst_structure_get_int(gst_caps_get_structure(caps.get(), 0), "rate", &rate) &&
                rate > 0)
                m_analysisRate = rate;
        }
        Analysis a;
        guint64 t = 0;
        gst_structure_get_uint64(s, "stream-time", &t);
        a.streamTime = t;
        if (const GValue* list = gst_structure_get_value(s, "magnitude"))
            bandsFromMagnitudes(list, a);
        m_analysis.push_back(a);
        while (m_analysis.size() > 64)
            m_analysis.pop_front();
    } else if (fromLevel && gst_structure_has_name(s, "level")) {
        // The level element still reports in a GValueArray.
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        const GValue* rms = gst_structure_get_value(s, "rms");
        if (rms && G_VALUE_TYPE(rms) == g_value_array_get_type()) {
            auto* arr = static_cast<GValueArray*>(g_value_get_boxed(rms));
            for (guint c = 0; c < std::min<guint>(2, arr->n_values); ++c)
                m_rms[c] = g_value_get_double(g_value_array_get_nth(arr, c));
            if (arr->n_values == 1)
                m_rms[1] = m_rms[0];
        }
        G_GNUC_END_IGNORE_DEPRECATIONS
    }
}

std::int64_t OutputChain::audiblePosition()
{
    gint64 pos = -1;
    if (m_sink && gst_element_query_position(m_sink, GST_FORMAT_TIME, &pos))
        return pos;
    return -1;
}

bool OutputChain::spectrum(std::int32_t* bands, int flags)
{
    if (!bands)
        return false;
    keepTaps();
    const std::int64_t now = audiblePosition();
    std::lock_guard lock(m_mutex);
    if (!m_sounding || m_analysis.empty())
        return false;
    // The analysis runs ahead of the speakers by the sink's buffer: show what is heard now.
    const Analysis* pick = &m_analysis.front();
    for (const Analysis& a : m_analysis) {
        if (now >= 0 && static_cast<std::int64_t>(a.streamTime) > now)
            break;
        pick = &a;
    }
    if (!pick->hasSpectrum)
        return false;
    for (int k = 0; k < kSpectrumBands; ++k) {
        const double db = pick->bands[k];
        double v;
        if (flags & kSpectrumLinearFlag)
            v = kSpectrumFullScale * std::min(1.0, 2.0 * std::pow(10.0, db / 20.0));
        else
            v = kSpectrumFullScale * (db - kFloorDb) / -kFloorDb;
        bands[k] = static_cast<std::int32_t>(std::clamp(v, 0.0, double(kSpectrumFullScale)));
        if (db <= kFloorDb)
            bands[k] = 0;
    }
    return true;
}

bool OutputChain::levels(int& left, int& right)
{
    keepTaps();
    std::lock_guard lock(m_mutex);
    if (!m_sounding || !m_tapsIn)
        return false;
    const auto toLinear = [](double db) {
        return static_cast<int>(std::clamp(32767.0 * std::pow(10.0, db / 20.0), 0.0, 32767.0));
    };
    left = toLinear(m_rms[0]);
    right = toLinear(m_rms[1]);
    return true;
}

bool OutputChain::hasReverb() const
{
    std::lock_guard lock(m_mutex);
    return m_reverb != nullptr;
}

bool OutputChain::hasPitch() const
{
    std::lock_guard lock(m_mutex);
    return m_pitch != nullptr;
}

std::int64_t OutputChain::sinkBufferUs() const
{
    std::lock_guard lock(m_mutex);
    if (!m_cardSink)
        return 0;
    gint64 us = 0;
    g_object_get(m_cardSink, "buffer-time", &us, nullptr);
    return us;
}

bool roleSpectrum(ChainRole role, std::int32_t* bands, int flags)
{
    std::lock_guard lock(g_registryMutex);
    for (OutputChain* c : g_chains) {
        if (c->role() == role && c->sounding() && c->spectrum(bands, flags))
            return true;
    }
    // Keep the taps of a quiet chain of this role coming, so it answers once it sounds.
    for (OutputChain* c : g_chains) {
        if (c->role() == role)
            c->keepTaps();
    }
    return false;
}

} // namespace engines
