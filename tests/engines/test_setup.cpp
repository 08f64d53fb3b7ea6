// The general engine's output settings and dialog, the sink they lead to, and the choice of
// engines for a file.

#include "albums/mediakind.h"
#include "engines/gstglue.h"
#include "engines/outputchain.h"
#include "engines/outputconfig.h"
#include "engines/session.h"
#include "platform/settings.h"
#include "support/testhome.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QSpinBox>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace engines;

namespace {

class Setup : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        if (const char* env = std::getenv("KOLVO_AUDIO_SINK"))
            m_sink = env;
        unsetenv("KOLVO_AUDIO_SINK");
    }
    void TearDown() override
    {
        if (!m_sink.empty())
            setenv("KOLVO_AUDIO_SINK", m_sink.c_str(), 1);
        setAudioSinkOverride("");
        KolvoHomeTest::TearDown();
    }
    std::string m_sink;
};

TEST_F(Setup, TheSinkComesFromTheOverrideTheEnvironmentOrTheSettings)
{
    EXPECT_EQ(audioSinkDescription(), "pulsesink");
    EXPECT_EQ(loadOutputConfig().bufferMs, 200);
    ASSERT_TRUE(saveOutputConfig({"alsa_output.usb-headset", 5000}));
    EXPECT_EQ(loadOutputConfig().bufferMs, kMaxBufferMs);
    EXPECT_EQ(audioSinkDescription(), "pulsesink device=alsa_output.usb-headset");
    // A device name that would change the description is not used.
    ASSERT_TRUE(saveOutputConfig({"x ! filesink location=/tmp/y", 200}));
    EXPECT_EQ(audioSinkDescription(), "pulsesink");
    setenv("KOLVO_AUDIO_SINK", "fakesink sync=true", 1);
    EXPECT_EQ(audioSinkDescription(), "fakesink sync=true");
    setAudioSinkOverride("alsasink");
    EXPECT_EQ(audioSinkDescription(), "alsasink");
}

TEST_F(Setup, TheDialogShowsAndReturnsTheOutputAndBuffer)
{
    const std::vector<std::pair<std::string, std::string>> devices = {
        {"speakers", "Built-in Speakers"}, {"usb", "USB Headset"}};
    OutputConfigDialog dialog({"usb", 300}, devices);
    ASSERT_EQ(dialog.deviceBox()->count(), 3); // the system default first
    EXPECT_EQ(dialog.deviceBox()->currentText(), "USB Headset");
    EXPECT_EQ(dialog.bufferBox()->value(), 300);
    dialog.deviceBox()->setCurrentIndex(0);
    dialog.bufferBox()->setValue(10); // below the least: held at it
    const OutputConfig c = dialog.config();
    EXPECT_EQ(c.device, "");
    EXPECT_EQ(c.bufferMs, kMinBufferMs);

    // A device that is not plugged in keeps its place.
    OutputConfigDialog away({"bluetooth", 200}, devices);
    EXPECT_EQ(away.deviceBox()->count(), 4);
    EXPECT_EQ(away.config().device, "bluetooth");

    // Without a user the dialog is not shown and nothing changes.
    setenv("KOLVO_NONINTERACTIVE", "1", 1);
    EXPECT_FALSE(runOutputConfigDialog(0));
}

// The one engine order, as the players' windows and kolvo-cli all read it.
TEST(EngineOrder, EachKindOfFileAsTheSettingsSay)
{
    AppSettings s;
    const auto order = [&](const char* name, int useInternal, int wavUseDirectShow = 1,
                           AlbumKind album = AlbumKindAudio) {
        s.mpaUseInternal = s.midUseInternal = useInternal;
        s.wavUseDirectShow = wavUseDirectShow;
        std::string names;
        for (const EngineFamily* f : engineOrder(album, MediaKindOf(album, name), s))
            names += std::string(names.empty() ? "" : " ") + f->prefix;
        return names;
    };
    EXPECT_EQ(order("/a/b.MP3", 1), "KMPEngine_ MCI");
    EXPECT_EQ(order("/a/b.mp2", 0), "KAMEngine_ MCI");
    EXPECT_EQ(order("/a/b.ram", 1), "KRAEngine_ MCI") << "a list RealAudio refuses goes on";
    EXPECT_EQ(order("/a/b.aif", 1, 0), "KAMEngine_ MCI");
    EXPECT_EQ(order("/a/b.snd", 1, 0), "KAMEngine_");
    EXPECT_EQ(order("/a/b.wav", 1), "KAMEngine_ MCI");
    EXPECT_EQ(order("/a/b.wav", 1, 0), "MCI");
    for (const char* name :
         {"/a/b.ogg", "/a/b.FLAC", "/a/b.opus", "/a/b.m4a", "/a/b.wma", "/a/b.wv"})
        EXPECT_EQ(order(name, 1), "KAMEngine_") << name;
    EXPECT_EQ(order("/a/noextension", 1), "MCI");
    // MIDI files try the engine, then the sequencer, as the setting says; karaoke words come
    // only from the engine, so it stays first.
    EXPECT_EQ(order("/a/b.mid", 1, 1, AlbumKindMidi), "KMIDEngine_ MCI");
    EXPECT_EQ(order("/a/b.kar", 1, 1, AlbumKindMidi), "KMIDEngine_ MCI");
    EXPECT_EQ(order("/a/b.mid", 0, 1, AlbumKindMidi), "MCI");
    EXPECT_EQ(order("/a/b.kar", 0, 1, AlbumKindMidi), "KMIDEngine_ MCI");
    // IMS songs and modules fall back to the media device.
    EXPECT_EQ(order("/a/b.IMS", 1, 1, AlbumKindMidi), "KIMSEngine_ MCI");
    for (const char* name : {"a.mod", "a.xm", "a.s3m", "a.it", "a.669"})
        EXPECT_EQ(order(name, 1, 1, AlbumKindMidi), "KMODEngine_ MCI") << name;
}

// RealAudio files carry cook, 14.4 or 28.8 sound; only 14.4 can be made here for the tests, so
// at least the decoders of the other two must be there for decodebin to find.
TEST(RealAudioDecoders, EveryRealAudioCodecHasADecoder)
{
    ASSERT_TRUE(ensureGstreamer());
    GList* decoders = gst_element_factory_list_get_elements(
        GST_ELEMENT_FACTORY_TYPE_DECODER | GST_ELEMENT_FACTORY_TYPE_MEDIA_AUDIO, GST_RANK_MARGINAL);
    // The stream versions rmdemux gives them: 14.4 is 1, 28.8 is 2, cook is 8.
    for (const auto& [version, name] :
         {std::pair{1, "avdec_real_144"}, std::pair{2, "avdec_real_288"},
          std::pair{8, "avdec_cook"}}) {
        GstCaps* caps =
            gst_caps_new_simple("audio/x-pn-realaudio", "raversion", G_TYPE_INT, version, nullptr);
        GList* fit = gst_element_factory_list_filter(decoders, caps, GST_PAD_SINK, FALSE);
        std::vector<std::string> names;
        for (GList* l = fit; l; l = l->next)
            names.push_back(GST_OBJECT_NAME(l->data));
        gst_plugin_feature_list_free(fit);
        gst_caps_unref(caps);
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end())
            << "no " << name << " for RealAudio version " << version
            << " (gstreamer1.0-libav is needed)";
    }
    gst_plugin_feature_list_free(decoders);
}

} // namespace
