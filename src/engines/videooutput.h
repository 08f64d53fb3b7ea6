#pragma once
// Where decoded pictures go. An engine that plays pictures hands each one, as a VideoFrame, to
// the surface registered for the window it was given at open (the viewer's child window); a
// window without a surface (kolvo-cli, a test) simply shows nothing, and the engine still keeps
// its last picture for capture. Registration is thread-safe: once setVideoSurface(window,
// nullptr) has returned, no engine thread is inside that surface any more.
//
// Frames are 32-bit rows in B, G, R, x byte order (Qt's RGB32 on a little-endian machine), kept
// in GStreamer's own buffer: nothing is copied between the decoder and the painter.

#include "platform/messages.h"

#include <cstdint>
#include <memory>
#include <vector>

// A rectangle in pixels, right and bottom exclusive.
struct RECT
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

typedef struct _GstSample GstSample;

namespace engines {

class VideoFrame
{
public:
    // Takes a reference of its own to the sample; an empty frame when it holds no mappable
    // BGRx picture.
    explicit VideoFrame(GstSample* sample);
    ~VideoFrame();
    VideoFrame(const VideoFrame&) = delete;
    VideoFrame& operator=(const VideoFrame&) = delete;

    bool isValid() const { return m_data != nullptr; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int stride() const { return m_stride; }
    const std::uint8_t* data() const { return m_data; }
    // The picture's place in its stream (a picture cut at a seek's start has the seek's time),
    // and how long a picture stands: one frame at the stream's rate (0 when unknown).
    std::int64_t streamTimeNs() const { return m_streamTime; }
    std::int64_t durationNs() const { return m_duration; }
    // Display width over stored width (pixel aspect ratio), 1 for square pixels.
    double pixelAspect() const { return m_pixelAspect; }

private:
    GstSample* m_sample = nullptr;
    struct Mapping;
    std::unique_ptr<Mapping> m_map;
    const std::uint8_t* m_data = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_stride = 0;
    std::int64_t m_streamTime = -1;
    std::int64_t m_duration = 0;
    double m_pixelAspect = 1.0;
};

using FramePtr = std::shared_ptr<const VideoFrame>;

// What a window that shows pictures implements. present() is called on GStreamer's threads and
// must only take the frame and ask for a repaint.
class VideoSurface
{
public:
    virtual ~VideoSurface() = default;
    virtual void present(FramePtr frame) = 0;
    // Where in the window the picture goes (the engines' SetMovieRect); the whole window until
    // told otherwise. Called on the user-interface thread, as the designed functions are.
    virtual void setMovieRect(const RECT& rect) { (void)rect; }
    // The engines' full-screen request; false when the window cannot.
    virtual bool showFullScreen(bool on)
    {
        (void)on;
        return false;
    }
};

void setVideoSurface(HWND window, VideoSurface* surface);
// Hands a frame to the window's surface; false when the window has none.
bool presentFrame(HWND window, const FramePtr& frame);
bool setSurfaceMovieRect(HWND window, const RECT& rect);
bool showSurfaceFullScreen(HWND window, bool on);

// The picture as a packed DIB (40-byte header, bottom-up 24-bit rows padded to 4 bytes), what
// the designed Capture functions return; empty for an invalid frame.
std::vector<std::uint8_t> packedDibOf(const VideoFrame& frame);

} // namespace engines
