#pragma once
// What the engine families that show pictures share: the information text of a film, its
// source rectangle, frame stepping and capture over a MediaPlayer, and VideoFileEngine, the one
// open film of a family without instances (the QuickTime and RealVideo engines). All of them
// decode through GStreamer (qtdemux, rmdemux with libav's RealVideo decoders, ...); what tells
// them apart is their designed calls, codes and notifications.

#include "engines/mediaplayer.h"
#include "engines/videooutput.h"
#include "platform/messages.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace engines {

// "MPEG-1 Video, 352 x 288, 25 fps" and, after ", ", the sound's description.
std::string videoInformationText(MediaPlayer& player, const std::string& location);
// The picture's size at (0, 0); false before the first picture.
bool videoSourceRect(MediaPlayer& player, RECT* rect);
// Pauses and moves `frames` pictures on or back, waiting for each.
bool stepVideo(MediaPlayer& player, int frames, bool backward);
// The picture shown now as a packed DIB; empty when there is none.
std::vector<std::uint8_t> captureVideo(MediaPlayer& player);
// The options of a playback that shows pictures in `window`.
MediaPlayer::Options videoOptions(HWND window);

class VideoFileEngine
{
public:
    struct Codes
    {
        const char* name;  // for the log: "QuickTime engine"
        UINT notification; // 0: the family posts nothing and is polled
        std::int32_t notFound;
        std::int32_t failed;
    };
    explicit VideoFileEngine(Codes codes)
        : m_codes(codes)
    {}

    // Loads the file without starting it: 1, or the family's failure code.
    std::int32_t open(HWND window, const char* path, int cookie);
    std::int32_t play();
    std::int32_t stop();
    std::int32_t pause();
    std::int32_t resume();
    std::int32_t close();
    std::int32_t isOpen();
    std::int32_t seek(int ms);
    std::int32_t position();
    std::int32_t length();
    std::int32_t mode();
    std::int32_t fileInfo(char* buffer, int size);
    std::int32_t sourceRect(RECT* rect);
    std::int32_t setMovieRect(const RECT* rect);
    std::int32_t setSpeed(int thousandths);
    std::int32_t step(int frames, int backward);
    std::vector<std::uint8_t> capture();
    // The window repaints from the last picture itself; nothing waits for idle time.
    std::int32_t update() { return isOpen(); }

private:
    Codes m_codes;
    std::mutex m_mutex;
    std::unique_ptr<MediaPlayer> m_player;
    std::string m_location;
    HWND m_window = 0;
};

} // namespace engines
