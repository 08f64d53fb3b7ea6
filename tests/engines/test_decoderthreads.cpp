// The threads libav's video decoders get: one for pictures of standard definition and less,
// libav's own choice above, decided from the caps each decoder is given before it opens; other
// elements are left alone.

#include "engines/decoderthreads.h"
#include "engines/gstglue.h"
#include "enginetest.h"

#include <gtest/gtest.h>

#include <string>

using enginetest::fixtureDir;
using enginetest::sh;

namespace {

// The max-threads the film's decoder had once it prerolled, -1 when it did not.
int threadsAfterPreroll(const std::string& path, const std::string& decoder)
{
    GError* err = nullptr;
    GstElement* p = gst_parse_launch(("filesrc location=\"" + path + "\" ! mpegvideoparse ! " +
                                      decoder + " name=d max-threads=5 ! fakesink")
                                         .c_str(),
                                     &err);
    if (!p || err)
        return -1;
    GstElement* d = gst_bin_get_by_name(GST_BIN(p), "d");
    engines::limitDecoderThreads(d);
    gst_element_set_state(p, GST_STATE_PAUSED);
    int threads = -1;
    if (gst_element_get_state(p, nullptr, nullptr, 10 * GST_SECOND) == GST_STATE_CHANGE_SUCCESS)
        g_object_get(d, "max-threads", &threads, nullptr);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(d);
    gst_object_unref(p);
    return threads;
}

} // namespace

TEST(DecoderThreads, SmallPicturesAreDecodedOnOneThread)
{
    EXPECT_EQ(engines::decoderThreadsFor(352, 288), 1);
    EXPECT_EQ(engines::decoderThreadsFor(720, 576), 1);
    EXPECT_EQ(engines::decoderThreadsFor(721, 480), 0);
    EXPECT_EQ(engines::decoderThreadsFor(1280, 720), 0);
    EXPECT_EQ(engines::decoderThreadsFor(0, 0), 0);

    ASSERT_TRUE(engines::ensureGstreamer());
    const std::string small = fixtureDir() + "/small.m1v";
    const std::string large = fixtureDir() + "/large.m2v";
    ASSERT_TRUE(sh("ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=0.5 "
                   "-c:v mpeg1video -f mpeg1video '" +
                   small + "'"));
    ASSERT_TRUE(sh("ffmpeg -v error -y -f lavfi -i testsrc=size=1280x720:rate=25:duration=0.5 "
                   "-c:v mpeg2video -f mpeg2video '" +
                   large + "'"));
    EXPECT_EQ(threadsAfterPreroll(small, "avdec_mpegvideo"), 1);
    EXPECT_EQ(threadsAfterPreroll(large, "avdec_mpeg2video"), 0);

    // Not a libav video decoder: nothing to do, nothing done.
    GstElement* identity = gst_element_factory_make("identity", nullptr);
    engines::limitDecoderThreads(identity);
    engines::limitDecoderThreads(nullptr);
    gst_object_unref(gst_object_ref_sink(identity));
}
