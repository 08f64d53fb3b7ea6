#include "engines/videooutput.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <map>
#include <mutex>

namespace engines {

struct VideoFrame::Mapping
{
    GstVideoFrame frame;
};

VideoFrame::VideoFrame(GstSample* sample)
{
    if (!sample)
        return;
    m_sample = GST_SAMPLE(gst_mini_object_ref(GST_MINI_OBJECT_CAST(sample)));
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(m_sample);
    GstBuffer* buffer = gst_sample_get_buffer(m_sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRx)
        return;
    auto map = std::make_unique<Mapping>();
    if (!gst_video_frame_map(&map->frame, &info, buffer, GST_MAP_READ))
        return;
    m_width = GST_VIDEO_FRAME_WIDTH(&map->frame);
    m_height = GST_VIDEO_FRAME_HEIGHT(&map->frame);
    m_stride = GST_VIDEO_FRAME_PLANE_STRIDE(&map->frame, 0);
    m_data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&map->frame, 0));
    m_map = std::move(map);
    if (GST_VIDEO_INFO_PAR_D(&info) > 0 && GST_VIDEO_INFO_PAR_N(&info) > 0)
        m_pixelAspect =
            static_cast<double>(GST_VIDEO_INFO_PAR_N(&info)) / GST_VIDEO_INFO_PAR_D(&info);
    const GstSegment* segment = gst_sample_get_segment(m_sample);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (GST_CLOCK_TIME_IS_VALID(pts)) {
        const guint64 streamTime =
            segment ? gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts) : pts;
        m_streamTime = GST_CLOCK_TIME_IS_VALID(streamTime) ? static_cast<std::int64_t>(streamTime)
                                                           : static_cast<std::int64_t>(pts);
    }
    // The frame rate first: a picture cut at a seek's start carries what is left of its time.
    if (GST_VIDEO_INFO_FPS_N(&info) > 0)
        m_duration = static_cast<std::int64_t>(gst_util_uint64_scale(
            GST_SECOND, GST_VIDEO_INFO_FPS_D(&info), GST_VIDEO_INFO_FPS_N(&info)));
    else if (GST_BUFFER_DURATION_IS_VALID(buffer))
        m_duration = static_cast<std::int64_t>(GST_BUFFER_DURATION(buffer));
}

VideoFrame::~VideoFrame()
{
    if (m_map)
        gst_video_frame_unmap(&m_map->frame);
    if (m_sample)
        gst_mini_object_unref(GST_MINI_OBJECT_CAST(m_sample));
}

namespace {

struct Surfaces
{
    std::mutex mutex;
    std::map<HWND, VideoSurface*> byWindow;
};

Surfaces& surfaces()
{
    static Surfaces s;
    return s;
}

void put16(std::vector<std::uint8_t>& out, size_t at, std::uint16_t v)
{
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& out, size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

void setVideoSurface(HWND window, VideoSurface* surface)
{
    Surfaces& s = surfaces();
    std::lock_guard lock(s.mutex);
    if (surface)
        s.byWindow[window] = surface;
    else
        s.byWindow.erase(window);
}

bool presentFrame(HWND window, const FramePtr& frame)
{
    if (!window)
        return false;
    Surfaces& s = surfaces();
    // Held while presenting, so that a surface going away waits for a present in progress.
    std::lock_guard lock(s.mutex);
    const auto it = s.byWindow.find(window);
    if (it == s.byWindow.end())
        return false;
    it->second->present(frame);
    return true;
}

bool setSurfaceMovieRect(HWND window, const RECT& rect)
{
    Surfaces& s = surfaces();
    std::lock_guard lock(s.mutex);
    const auto it = s.byWindow.find(window);
    if (it == s.byWindow.end())
        return false;
    it->second->setMovieRect(rect);
    return true;
}

bool showSurfaceFullScreen(HWND window, bool on)
{
    VideoSurface* surface = nullptr;
    {
        Surfaces& s = surfaces();
        std::lock_guard lock(s.mutex);
        const auto it = s.byWindow.find(window);
        if (it == s.byWindow.end())
            return false;
        surface = it->second;
    }
    // Outside the lock: going full screen repaints, and a repaint may meet a present.
    // Surfaces are registered and dropped on this (the user-interface) thread only.
    return surface->showFullScreen(on);
}

std::vector<std::uint8_t> packedDibOf(const VideoFrame& frame)
{
    if (!frame.isValid() || frame.width() <= 0 || frame.height() <= 0)
        return {};
    const size_t width = static_cast<size_t>(frame.width());
    const size_t height = static_cast<size_t>(frame.height());
    const size_t stride = (width * 3 + 3) & ~size_t(3);
    std::vector<std::uint8_t> out(40 + stride * height, 0);
    put32(out, 0, 40);
    put32(out, 4, static_cast<std::uint32_t>(width));
    put32(out, 8, static_cast<std::uint32_t>(height)); // positive: bottom-up rows
    put16(out, 12, 1);
    put16(out, 14, 24);
    put32(out, 16, 0); // BI_RGB
    put32(out, 20, static_cast<std::uint32_t>(stride * height));
    put32(out, 24, 2835); // 72 dots per inch
    put32(out, 28, 2835);
    for (size_t y = 0; y < height; ++y) {
        const std::uint8_t* src =
            frame.data() + (height - 1 - y) * static_cast<size_t>(frame.stride());
        std::uint8_t* dst = out.data() + 40 + y * stride;
        for (size_t x = 0; x < width; ++x) {
            dst[x * 3] = src[x * 4];         // blue
            dst[x * 3 + 1] = src[x * 4 + 1]; // green
            dst[x * 3 + 2] = src[x * 4 + 2]; // red
        }
    }
    return out;
}

} // namespace engines
