// Our own effects, on generated signals: each changes the sound in its own way, leaves it alone
// when off, and glides rather than steps when a setting changes mid-sound.

#include "analysis.h"
#include "engines/dsp.h"
#include "engines/effects.h"
#include "engines/gstglue.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <vector>

namespace {

constexpr int kRate = 44100;

// Interleaved stereo: left = a sine at fl with amplitude al, right at fr with ar.
std::vector<float> stereoTone(double seconds, double fl, double al, double fr, double ar)
{
    const auto n = static_cast<size_t>(seconds * kRate);
    std::vector<float> v(2 * n);
    for (size_t i = 0; i < n; ++i) {
        v[2 * i] = static_cast<float>(al * std::sin(2 * M_PI * fl * i / kRate));
        v[2 * i + 1] = static_cast<float>(ar * std::sin(2 * M_PI * fr * i / kRate));
    }
    return v;
}

analysis::Stereo split(const std::vector<float>& v)
{
    analysis::Stereo s;
    s.rate = kRate;
    for (size_t i = 0; i + 1 < v.size(); i += 2) {
        s.left.push_back(v[i]);
        s.right.push_back(v[i + 1]);
    }
    return s;
}

// Runs `unit` over the signal in blocks of 441 frames (10 ms); `atBlock(k)` may change its
// settings before block k. Idle blocks are skipped as the element would pass them through.
template <typename Unit>
void run(Unit& unit, std::vector<float>& v, const std::function<void(size_t)>& atBlock = {})
{
    const size_t frames = v.size() / 2;
    for (size_t start = 0, k = 0; start < frames; start += 441, ++k) {
        if (atBlock)
            atBlock(k);
        if (!unit.isIdle())
            unit.process(v.data() + 2 * start, std::min<size_t>(441, frames - start));
    }
}

TEST(Ramp, ReachesItsTargetInEvenStepsAndStaysThere)
{
    dsp::Ramp r(0.0f);
    r.setTarget(1.0f, 4);
    EXPECT_FALSE(r.settled());
    std::vector<float> steps;
    for (int i = 0; i < 5; ++i)
        steps.push_back(r.next());
    EXPECT_EQ(steps, (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f, 1.0f}));
    EXPECT_TRUE(r.settled());
    // A new target mid-way starts from where the value is, not from the old start.
    r.setTarget(0.0f, 2);
    r.next();
    r.setTarget(1.0f, 2);
    EXPECT_FLOAT_EQ(r.next(), 0.75f);
}

// (Left and right alone are heard at the sink; here what is not heard there.)
TEST(ChannelScaler, MixesToMonoWithTheGainAndIsIdleOtherwise)
{
    dsp::ChannelScaler s;
    s.configure(kRate);
    EXPECT_TRUE(s.isIdle());
    auto v = stereoTone(0.5, 440, 0.5, 660, 0.5);
    s.setChannel(dsp::ChannelScaler::Mono);
    s.setGain(24000.0f / 32768.0f);
    run(s, v);
    const auto out = analysis::slice(split(v), 0.1, 0.4);
    EXPECT_NEAR(analysis::toneAmplitude(out.left, kRate, 440), 0.25 * 24000 / 32768, 0.01);
    EXPECT_NEAR(analysis::toneAmplitude(out.right, kRate, 660), 0.25 * 24000 / 32768, 0.01);
    s.setChannel(dsp::ChannelScaler::Stereo);
    s.setGain(1.0f);
    run(s, v);
    EXPECT_TRUE(s.isIdle());
    // Settings outside the tables fall back to stereo rather than to anything surprising.
    s.setChannel(42);
    EXPECT_TRUE(s.isIdle());
}

// (The limiting is heard at the sink; here how fast the gain comes back.)
TEST(ChannelScaler, AgcLetsGoOfALimitedGainAboutThreeDecibelsASecond)
{
    dsp::ChannelScaler agc;
    agc.configure(kRate);
    agc.setGain(2.0f);
    agc.setAgc(true);
    auto loud = stereoTone(1.0, 440, 0.9, 440, 0.9);
    run(agc, loud);
    EXPECT_LT(agc.agcGain(), 0.6f);
    const float before = agc.agcGain();
    auto quiet = stereoTone(1.0, 440, 0.01, 440, 0.01);
    run(agc, quiet);
    EXPECT_NEAR(agc.agcGain() / before, std::pow(10.0, 3.0 / 20), 0.05);
}

// (That 3D spreads a mono sound and wide widens a stereo one is heard at the sink.)
TEST(ThreeDAndWide, DepthScalesTheEffectAndOffOrMonoIsLeftAlone)
{
    const auto sideOf = [](const std::vector<float>& v) {
        return analysis::rms(analysis::difference(analysis::slice(split(v), 0.2, 0.8)));
    };
    const auto original = stereoTone(1.0, 500, 0.5, 500, 0.5);
    const auto threeD = [&](int depth, bool thenOff) {
        dsp::ThreeD unit;
        unit.configure(kRate);
        unit.set(true, depth);
        auto v = original;
        run(unit, v);
        if (thenOff) {
            unit.set(false, depth);
            v = original;
            run(unit, v);
        }
        EXPECT_EQ(unit.isIdle(), thenOff);
        return sideOf(v);
    };
    const double deep = threeD(32, false), shallow = threeD(0, false);
    EXPECT_GT(shallow, 0.02);
    EXPECT_LT(shallow, deep * 0.6);
    EXPECT_LT(threeD(32, true), 1e-6);

    dsp::StereoWidener wide;
    wide.configure(kRate);
    wide.set(true, 32);
    auto stereo = stereoTone(1.0, 440, 0.6, 440, 0.2);
    const double sideBefore = sideOf(stereo);
    run(wide, stereo);
    EXPECT_NEAR(sideOf(stereo) / sideBefore, 2.5, 0.05);
    auto mono = original;
    run(wide, mono);
    EXPECT_LT(analysis::rms(analysis::difference(split(mono))), 1e-6);
}

TEST(FxUnit, EachModeHasItsOwnSignature)
{
    const auto process = [](int mode) {
        dsp::FxUnit unit;
        unit.configure(kRate);
        unit.set(true, mode);
        auto v = stereoTone(2.0, 1000, 0.5, 1000, 0.5);
        run(unit, v);
        return analysis::slice(split(v), 0.1, 1.9).left;
    };
    // (Robot 1 and flange are heard at the sink.) Inverse flange sweeps a comb over the tone:
    // its level rises and falls over the sweep.
    const auto x = process(dsp::FxUnit::InverseFlange);
    double lo = 1, hi = 0;
    for (size_t i = 0; i + 2205 <= x.size(); i += 2205) {
        const double r = analysis::rms(
            {x.begin() + static_cast<long>(i), x.begin() + static_cast<long>(i + 2205)});
        lo = std::min(lo, r), hi = std::max(hi, r);
    }
    EXPECT_GT(hi / lo, 2.0);
    // Robot 2 rings: a steady tone comes out with a steady but different level.
    EXPECT_GT(std::fabs(analysis::rms(process(dsp::FxUnit::Robot2)) - 0.5 / std::sqrt(2.0)), 0.03);
    // Dry and the pitch modes are not this unit's business.
    for (int mode : {4, 7, 10}) {
        dsp::FxUnit unit;
        unit.configure(kRate);
        unit.set(true, mode);
        EXPECT_TRUE(unit.isIdle()) << mode;
    }
}

TEST(Effects, ChangesWhileASoundPlaysGlideInsteadOfStepping)
{
    // A 440 Hz tone at 0.5 has second differences below 0.002; a stepped setting would jump by
    // tenths. Every unit is switched on, changed and switched off mid-tone.
    const double smooth = 3 * 0.5 * std::pow(2 * M_PI * 440 / kRate, 2);
    const auto check = [&](auto& unit, std::map<size_t, std::function<void()>> plan,
                           double allowance, const char* what) {
        unit.configure(kRate);
        auto v = stereoTone(1.5, 440, 0.5, 440, 0.3);
        run(unit, v, [&](size_t k) {
            if (plan.count(k))
                plan[k]();
        });
        const auto s = split(v);
        EXPECT_LT(analysis::worstSeam(s.left), allowance) << what;
        EXPECT_LT(analysis::worstSeam(s.right), allowance) << what;
    };
    dsp::ThreeD d;
    check(d,
          {{30, [&] { d.set(true, 32); }},
           {70, [&] { d.set(true, 4); }},
           {110, [&] { d.set(false, 4); }}},
          0.02, "3D");
    dsp::StereoWidener w;
    check(w, {{30, [&] { w.set(true, 32); }}, {110, [&] { w.set(false, 32); }}}, smooth, "wide");
    dsp::FxUnit fx;
    check(fx,
          {{20, [&] { fx.set(true, dsp::FxUnit::Flange); }},
           {50, [&] { fx.set(true, dsp::FxUnit::Robot1); }},
           {51, [&] { fx.set(true, dsp::FxUnit::Robot2); }}, // mid-crossfade: queued, not cut
           {100, [&] { fx.set(false, 0); }}},
          0.03, "fx");
    dsp::ChannelScaler c;
    check(c,
          {{30, [&] { c.setChannel(dsp::ChannelScaler::Right); }},
           {60, [&] { c.setGain(0.2f); }},
           {90, [&] { c.setChannel(dsp::ChannelScaler::Mono); }}},
          smooth, "scaler");
    dsp::Fader f;
    check(f, {{30, [&] { f.fadeTo(0, 10); }}, {40, [&] { f.fadeTo(1, 10); }}}, smooth, "fader");
}

TEST(Fader, FadesOutToSilenceAndBackToIdle)
{
    dsp::Fader f;
    f.configure(kRate);
    EXPECT_TRUE(f.isIdle());
    f.fadeTo(0, 10);
    auto v = stereoTone(0.05, 440, 0.5, 440, 0.5);
    f.process(v.data(), v.size() / 2);
    EXPECT_TRUE(f.isSilent());
    EXPECT_EQ(analysis::peak(analysis::slice(split(v), 0.02, 0.03).left), 0.0);
    f.fadeTo(1, 10);
    f.process(v.data(), v.size() / 2);
    EXPECT_TRUE(f.isIdle());
}

TEST(EffectValues, AreKeptInRange)
{
    engines::EffectSettings wild;
    wild.reverb = 7;
    wild.reverbMode = 9;
    wild.reverbDepth = -3;
    wild.fxMode = 77;
    wild.wideDepth = 1000;
    const auto s = engines::sanitized(wild);
    EXPECT_EQ(std::tuple(s.reverb, s.reverbMode, s.reverbDepth, s.fxMode, s.wideDepth),
              std::tuple(1, 3, 0, 10, 32));
    EXPECT_EQ(std::tuple(engines::fxPitchSemitones(6), engines::fxPitchSemitones(9),
                         engines::fxPitchSemitones(10)),
              std::tuple(4, -4, 0));
    EXPECT_NEAR(engines::equalizerCentre(0), 31.5, 0.01);
    EXPECT_NEAR(engines::equalizerCentre(19), 16000, 0.5);
    EXPECT_LT(engines::reverbLevel(0), engines::reverbLevel(32));

    engines::EqualizerCurve loud{};
    loud[3] = 40;
    loud[4] = -40;
    engines::setCurrentEqualizer(loud);
    EXPECT_EQ(engines::currentEqualizer()[3], engines::kEqualizerMaxDb);
    EXPECT_EQ(engines::currentEqualizer()[4], engines::kEqualizerMinDb);
    engines::setCurrentEqualizer({});
}

// What came out of the appsink "out" of a pipeline: the samples, each buffer's time and the
// memory it was in.
struct Pulled
{
    std::vector<float> samples;
    std::vector<GstClockTime> times;
    std::vector<const void*> memory;
    int channels = 0;
};

Pulled pullAll(GstElement* pipeline)
{
    Pulled out;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
        GstAudioInfo info;
        gst_audio_info_from_caps(&info, gst_sample_get_caps(sample));
        out.channels = GST_AUDIO_INFO_CHANNELS(&info);
        GstBuffer* b = gst_sample_get_buffer(sample);
        GstMapInfo map;
        gst_buffer_map(b, &map, GST_MAP_READ);
        out.times.push_back(GST_BUFFER_PTS(b));
        out.memory.push_back(map.data);
        const auto* f = reinterpret_cast<const float*>(map.data);
        out.samples.insert(out.samples.end(), f, f + map.size / sizeof(float));
        gst_buffer_unmap(b, &map);
        gst_sample_unref(sample);
    }
    gst_object_unref(sink);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return out;
}

// The GStreamer elements around the units: registered, passing buffers through untouched while
// off, and processing once switched on.
TEST(Elements, PassThroughUntilSwitchedOn)
{
    ASSERT_TRUE(engines::ensureGstreamer());
    for (const char* name : {"kolvoscale", "kolvo3d", "kolvowide", "kolvofx", "kolvofade"}) {
        GstElement* e = gst_element_factory_make(name, nullptr);
        ASSERT_NE(e, nullptr) << name;
        gst_object_unref(e);
    }
    const auto render = [](bool on) {
        GstElement* p = gst_parse_launch(
            "audiotestsrc num-buffers=20 freq=500 volume=0.5 ! audio/x-raw,format=F32LE,"
            "channels=2,rate=44100 ! kolvo3d name=fx ! appsink name=out sync=false",
            nullptr);
        GstElement* fx = gst_bin_get_by_name(GST_BIN(p), "fx");
        g_object_set(fx, "enabled", on ? TRUE : FALSE, "depth", 32, nullptr);
        gst_object_unref(fx);
        gst_element_set_state(p, GST_STATE_PLAYING);
        const auto f = pullAll(p).samples;
        double diff = 0;
        for (size_t i = 0; i + 1 < f.size(); i += 2)
            diff = std::max(diff, static_cast<double>(std::fabs(f[i] - f[i + 1])));
        return diff;
    };
    EXPECT_EQ(render(false), 0.0);
    EXPECT_GT(render(true), 0.1);
}

// The chain's way in: mono is played on both sides sample for sample, in buffers of twice the
// size with the same times, and stereo passes through in the very same memory.
TEST(Elements, StereoCopiesMonoToBothSidesAndPassesStereoThrough)
{
    ASSERT_TRUE(engines::ensureGstreamer());
    const auto play = [](const std::vector<float>& in, int channels, bool& sameMemory) {
        GstElement* p = gst_parse_launch(
            "appsrc name=in format=time ! kolvostereo name=s ! appsink name=out sync=false",
            nullptr);
        GstElement* src = gst_bin_get_by_name(GST_BIN(p), "in");
        GstAudioInfo info;
        gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_F32, 44100, channels, nullptr);
        GstCaps* caps = gst_audio_info_to_caps(&info);
        g_object_set(src, "caps", caps, nullptr);
        gst_caps_unref(caps);
        gst_element_set_state(p, GST_STATE_PLAYING);
        // Kept alive so that no output can be given their memory.
        std::vector<GstBuffer*> pushed;
        std::vector<const void*> memory;
        const size_t half = in.size() / 2;
        for (int i = 0; i < 2; ++i) {
            GstBuffer* b = gst_buffer_new_allocate(nullptr, half * sizeof(float), nullptr);
            gst_buffer_fill(b, 0, in.data() + half * i, half * sizeof(float));
            GST_BUFFER_PTS(b) = static_cast<GstClockTime>(i) * GST_SECOND;
            GST_BUFFER_DURATION(b) = GST_SECOND;
            GstMapInfo map;
            gst_buffer_map(b, &map, GST_MAP_READ);
            memory.push_back(map.data);
            gst_buffer_unmap(b, &map);
            pushed.push_back(gst_buffer_ref(b));
            gst_app_src_push_buffer(GST_APP_SRC(src), b);
        }
        gst_app_src_end_of_stream(GST_APP_SRC(src));
        gst_object_unref(src);
        const Pulled out = pullAll(p);
        sameMemory = out.memory == memory;
        for (GstBuffer* b : pushed)
            gst_buffer_unref(b);
        return out;
    };
    std::vector<float> mono;
    for (int i = 0; i < 400; ++i)
        mono.push_back(std::sin(i * 0.1f) * 0.5f + (i % 7) * 0.01f);
    bool same = true;
    const Pulled up = play(mono, 1, same);
    EXPECT_EQ(up.channels, 2);
    std::vector<float> doubled;
    for (float v : mono)
        doubled.insert(doubled.end(), {v, v});
    EXPECT_EQ(up.samples, doubled);
    EXPECT_EQ(up.times, (std::vector<GstClockTime>{0, GST_SECOND}));
    EXPECT_FALSE(same);

    const Pulled through = play(mono, 2, same); // 200 stereo frames
    EXPECT_EQ(through.channels, 2);
    EXPECT_EQ(through.samples, mono);
    EXPECT_TRUE(same);
}

} // namespace
