// FFmpeg's codec, utility and resampling functions for the recording library, reached through
// one table that is filled the first time anything needs it. Internal to src/record: the WAVE
// converter and the RealAudio encoder use it; nothing above them sees FFmpeg.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <string>

namespace record {

// FFmpeg's codec, utility and resampling libraries are opened when the first conversion or
// compressed format needs them, not linked: linked, they and the codec libraries they bring
// (x265, AV1, SVG, teletext... sixty of them) would be loaded at every start of the program,
// about 10 MB of it resident, recording or not. The library names follow the major versions of
// the headers compiled against.
#define KOLVO_AV_FUNCTIONS(F)                                                                      \
    F(av_audio_fifo_alloc)                                                                         \
    F(av_audio_fifo_free)                                                                          \
    F(av_audio_fifo_read)                                                                          \
    F(av_audio_fifo_size)                                                                          \
    F(av_audio_fifo_write)                                                                         \
    F(av_channel_layout_copy)                                                                      \
    F(av_channel_layout_default)                                                                   \
    F(av_frame_alloc)                                                                              \
    F(av_frame_free)                                                                               \
    F(av_frame_get_buffer)                                                                         \
    F(av_frame_unref)                                                                              \
    F(av_freep)                                                                                    \
    F(av_get_bytes_per_sample)                                                                     \
    F(av_packet_alloc)                                                                             \
    F(av_packet_free)                                                                              \
    F(av_packet_unref)                                                                             \
    F(av_sample_fmt_is_planar)                                                                     \
    F(av_samples_alloc_array_and_samples)                                                          \
    F(av_samples_set_silence)                                                                      \
    F(avcodec_alloc_context3)                                                                      \
    F(avcodec_find_encoder)                                                                        \
    F(avcodec_find_encoder_by_name)                                                                \
    F(avcodec_free_context)                                                                        \
    F(avcodec_open2)                                                                               \
    F(avcodec_receive_packet)                                                                      \
    F(avcodec_send_frame)                                                                          \
    F(swr_alloc_set_opts2)                                                                         \
    F(swr_convert)                                                                                 \
    F(swr_free)                                                                                    \
    F(swr_get_out_samples)                                                                         \
    F(swr_init)

struct AvApi
{
#define KOLVO_AV_POINTER(name) decltype(&::name) name = nullptr;
    KOLVO_AV_FUNCTIONS(KOLVO_AV_POINTER)
#undef KOLVO_AV_POINTER
    std::string error; // empty when every function was found
};

// The table, loaded on the first call; `error` says why it cannot be used.
const AvApi& av();

} // namespace record
