#include "record/kreengine.h"

#include "platform/log.h"
#include "record/acmwavewriter.h"
#include "record/libav.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace record {

namespace {

struct CodecContextDeleter
{
    void operator()(AVCodecContext* c) const { av().avcodec_free_context(&c); }
};
struct FrameDeleter
{
    void operator()(AVFrame* f) const { av().av_frame_free(&f); }
};
struct PacketDeleter
{
    void operator()(AVPacket* p) const { av().av_packet_free(&p); }
};

const char* const kProfiles[] = {"RealAudio 1.0 (14.4), 8 kHz mono voice"};

} // namespace

// One encoder: a thread's own, or one lent to it.
class RealAudioEncoder
{
public:
    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec;
    std::unique_ptr<AVFrame, FrameDeleter> frame;
    std::unique_ptr<AVPacket, PacketDeleter> packet;
    CAcmWaveWriter converter; // the source's PCM to 8000 Hz 16-bit mono, no file
    RealAudioFileWriter file;
    std::vector<std::int16_t> samples; // converted, waiting for a whole frame
    std::vector<std::uint8_t> converted;
    std::vector<std::uint8_t> frames;
    bool firstWrite = true;
    std::string error;

    bool started() const { return codec != nullptr; }

    void reset()
    {
        if (file.isOpen())
            file.finish();
        converter.close();
        codec.reset();
        frame.reset();
        packet.reset();
        samples.clear();
        firstWrite = true;
    }

    int start(const std::string& path, const RealAudioClip& clip)
    {
        reset();
        error.clear();
        const WAVEFORMATEX& f = clip.format;
        if (f.wFormatTag != kTagPcm || (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) ||
            f.nChannels < 1 || f.nChannels > 2 || f.nSamplesPerSec < 1000 ||
            f.nSamplesPerSec > 192000) {
            error =
                "RealAudio takes 8- or 16-bit PCM of one or two channels, not " + describeFormat(f);
            return -1;
        }
        if (!av().error.empty()) {
            error = av().error;
            return -1;
        }
        const AVCodec* encoder = av().avcodec_find_encoder(AV_CODEC_ID_RA_144);
        std::unique_ptr<AVCodecContext, CodecContextDeleter> ctx(
            encoder ? av().avcodec_alloc_context3(encoder) : nullptr);
        if (!ctx) {
            error = "libavcodec has no RealAudio 1.0 (14.4) encoder";
            return -1;
        }
        ctx->sample_rate = static_cast<int>(kRa144Rate);
        av().av_channel_layout_default(&ctx->ch_layout, 1);
        ctx->sample_fmt = AV_SAMPLE_FMT_S16;
        if (av().avcodec_open2(ctx.get(), encoder, nullptr) < 0 ||
            ctx->frame_size != kRa144FrameSamples) {
            error = "the RealAudio 1.0 (14.4) encoder does not open";
            return -1;
        }
        if (converter.openConverter(f, MakePcmFormat(kRa144Rate, 16, 1)) != 1) {
            error = "cannot convert " + describeFormat(f) + " to 8000 Hz mono";
            return -1;
        }
        frame.reset(av().av_frame_alloc());
        packet.reset(av().av_packet_alloc());
        if (!frame || !packet)
            return -1;
        if (!file.create(path, {clip.title, clip.author, clip.copyright})) {
            error = file.error();
            converter.close();
            return 0;
        }
        codec = std::move(ctx);
        return 1;
    }

    // Sends a frame of 160 samples (the last padded with silence), or none to empty the
    // encoder, and writes what comes out.
    bool encode(const std::int16_t* pcm, int count)
    {
        if (pcm) {
            av().av_frame_unref(frame.get());
            frame->nb_samples = kRa144FrameSamples;
            frame->format = AV_SAMPLE_FMT_S16;
            frame->sample_rate = static_cast<int>(kRa144Rate);
            if (av().av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout) < 0 ||
                av().av_frame_get_buffer(frame.get(), 0) < 0)
                return false;
            auto* out = reinterpret_cast<std::int16_t*>(frame->data[0]);
            std::copy(pcm, pcm + count, out);
            std::fill(out + count, out + kRa144FrameSamples, std::int16_t{0});
        }
        if (av().avcodec_send_frame(codec.get(), pcm ? frame.get() : nullptr) < 0)
            return false;
        frames.clear();
        for (;;) {
            const int r = av().avcodec_receive_packet(codec.get(), packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                break;
            if (r < 0)
                return false;
            frames.insert(frames.end(), packet->data, packet->data + packet->size);
            av().av_packet_unref(packet.get());
        }
        if (!frames.empty() && !file.write(frames.data(), frames.size())) {
            error = file.error();
            return false;
        }
        return true;
    }

    bool take(const std::uint8_t* bytes, size_t count, bool last)
    {
        size_t outLength = 0;
        if (converter.write(bytes, count, &converted, &outLength,
                            last         ? 1
                            : firstWrite ? -1
                                         : 0) != 1) {
            error = "the sound could not be converted to 8000 Hz mono";
            return false;
        }
        firstWrite = false;
        const size_t n = outLength / 2;
        const size_t at = samples.size();
        samples.resize(at + n);
        std::memcpy(samples.data() + at, converted.data(), n * 2);
        size_t used = 0;
        while (samples.size() - used >= kRa144FrameSamples) {
            if (!encode(samples.data() + used, kRa144FrameSamples))
                return false;
            used += kRa144FrameSamples;
        }
        samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(used));
        if (last) {
            if (!samples.empty() && !encode(samples.data(), static_cast<int>(samples.size())))
                return false;
            samples.clear();
            return encode(nullptr, 0);
        }
        return true;
    }
};

namespace {

thread_local RealAudioEncoder t_own;
thread_local RealAudioEncoder* t_lent = nullptr;

RealAudioEncoder& current()
{
    return t_lent ? *t_lent : t_own;
}

} // namespace

std::string realAudioEncoderError()
{
    return current().error;
}

std::shared_ptr<RealAudioEncoder> makeRealAudioEncoder()
{
    return std::make_shared<RealAudioEncoder>();
}

RealAudioEncoderUse::RealAudioEncoderUse(RealAudioEncoder* encoder)
    : m_previous(t_lent)
{
    t_lent = encoder;
}

RealAudioEncoderUse::~RealAudioEncoderUse()
{
    t_lent = m_previous;
}

} // namespace record

using record::current;

int KREEngine_Start(const std::string& path, int profile, const record::RealAudioClip& clip)
{
    (void)profile; // one profile: every number is it
    const int result = current().start(path, clip);
    if (result != 1)
        KLOG_WARNING("record", "RealAudio encoder: %s: %s", path.c_str(), current().error.c_str());
    return result;
}

int KREEngine_Write(const std::uint8_t* bytes, int count)
{
    record::RealAudioEncoder& e = current();
    if (!e.started() || count < 0 || e.file.failed())
        return 0;
    if (count == 0)
        return 1;
    if (!e.take(bytes, static_cast<size_t>(count), false)) {
        KLOG_WARNING("record", "RealAudio encoder: %s", e.error.c_str());
        return 0;
    }
    return 1;
}

int KREEngine_Stop()
{
    record::RealAudioEncoder& e = current();
    if (!e.started())
        return 0;
    bool ok = !e.file.failed() && e.take(nullptr, 0, true);
    // What was written keeps its name even when the disk refused more: it plays.
    if (!e.file.finish()) {
        if (e.error.empty())
            e.error = e.file.error();
        ok = false;
    }
    e.reset();
    return ok ? 1 : 0;
}

int KREEngine_GetProfilesNum()
{
    return static_cast<int>(std::size(record::kProfiles));
}

std::vector<std::string> KREEngine_GetProfiles()
{
    return {std::begin(record::kProfiles), std::end(record::kProfiles)};
}
