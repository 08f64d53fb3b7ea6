#pragma once
// What every engine family shares: the modes it reports, the notification messages it posts
// with the play cookie, and its result codes. A result above 0 is success.

#include "platform/vocabulary.h"

#include <cstdint>

// Event 1: a mode was reached (lParam is the mode). Event 2: playback failed (lParam is the
// engine's failure code).
constexpr int kEventMode = 1;
constexpr int kEventFailed = 2;

constexpr WPARAM engineNotifyWParam(int cookie, int event)
{
    return (static_cast<WPARAM>(cookie & 0xFFFF) << 16) | static_cast<WPARAM>(event & 0xFFFF);
}

// "The open completes later by notification."
constexpr std::int32_t kResultAmLater = 9300;
constexpr std::int32_t kResultMidiLater = 9450;
constexpr std::int32_t kResultMpegLater = 9550;

// Failures that mean the file could not be reached (missing file, unmounted medium): the
// players retry another drive for them.
constexpr std::int32_t kMciFailed = -9200;
constexpr std::int32_t kMciNoDevice = -9201;
constexpr std::int32_t kMciNotFound = -9202;
constexpr std::int32_t kMciNotSaved = -9203;
constexpr std::int32_t kMciReadError = -9204;
constexpr std::int32_t kMciWriteError = -9205;
constexpr std::int32_t kAmNotFound = -9302;
constexpr std::int32_t kQtNotFound = -9402;
constexpr std::int32_t kMidiNotFound = -9454;
constexpr std::int32_t kRaNotFound = -9502;
constexpr std::int32_t kMpegNotFound = -9553;
constexpr std::int32_t kRvNotFound = -9601;
constexpr std::int32_t kModNotFound = -9651;
constexpr std::int32_t kCdReaderNotFound = -9801;

// Our other failures, per family: the file is there but cannot be played.
constexpr std::int32_t kAmFailed = -9301;      // not a playable file, or the output failed
constexpr std::int32_t kAmBadInstance = -9303; // instance number outside 0..2
constexpr std::int32_t kRaFailed = -9501;      // not RealAudio, or an empty list
constexpr std::int32_t kMpegNotMpeg = -9551;   // no MPEG audio frames in the file
constexpr std::int32_t kMpegFailed = -9552;    // decoding or the output failed
// The IMS and module engines.
constexpr std::int32_t kImsFailed = -9461; // not an IMS song AdPlug plays, or a damaged one
constexpr std::int32_t kImsNoBank = -9462; // no instrument bank for the song anywhere
constexpr std::int32_t kModFailed = -9652; // not a module libopenmpt reads

bool IsFileNotReachable(std::int32_t result);
