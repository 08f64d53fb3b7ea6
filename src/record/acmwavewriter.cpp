#include "record/acmwavewriter.h"

#include "platform/log.h"
#include "record/libav.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace record {

namespace {

const char* encoderName(std::uint16_t tag)
{
    switch (tag) {
    case kTagALaw:
        return "pcm_alaw";
    case kTagMuLaw:
        return "pcm_mulaw";
    case kTagImaAdpcm:
        return "adpcm_ima_wav";
    case kTagMsAdpcm:
        return "adpcm_ms";
    case kTagGsm610:
        return "libgsm_ms";
    case kTagMpegLayer3:
        return "libmp3lame";
    default:
        return nullptr;
    }
}

struct CodecContextDeleter
{
    void operator()(AVCodecContext* c) const { av().avcodec_free_context(&c); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

bool setWhy(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

CodecContextPtr openEncoder(std::uint16_t tag, std::uint32_t rate, int channels, int kbps,
                            std::string* why)
{
    if (!av().error.empty()) {
        setWhy(why, av().error);
        return nullptr;
    }
    const char* name = encoderName(tag);
    const AVCodec* codec = name ? av().avcodec_find_encoder_by_name(name) : nullptr;
    if (!codec) {
        setWhy(why, name ? std::string("libavcodec has no encoder ") + name
                         : "not a format tag this writer encodes");
        return nullptr;
    }
    if (tag == kTagGsm610 && (rate != 8000 || channels != 1)) {
        setWhy(why, "GSM 6.10 takes 8000 Hz mono only");
        return nullptr;
    }
    CodecContextPtr ctx(av().avcodec_alloc_context3(codec));
    if (!ctx)
        return nullptr;
    ctx->sample_rate = static_cast<int>(rate);
    av().av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    if (tag == kTagMpegLayer3)
        ctx->bit_rate = static_cast<std::int64_t>(kbps) * 1000;
    if (av().avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        setWhy(why, std::string(name) + " does not take " + std::to_string(rate) + " Hz, " +
                        std::to_string(channels) + " channels");
        return nullptr;
    }
    return ctx;
}

void put16(std::vector<std::uint8_t>& v, std::uint16_t x)
{
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}

void put32(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    put16(v, static_cast<std::uint16_t>(x));
    put16(v, static_cast<std::uint16_t>(x >> 16));
}

AVSampleFormat pcmSampleFormat(int bits)
{
    return bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
}

} // namespace

const std::vector<std::uint16_t>& writableWaveTags()
{
    static const std::vector<std::uint16_t> tags{
        kTagPcm, kTagALaw, kTagMuLaw, kTagImaAdpcm, kTagMsAdpcm, kTagGsm610, kTagMpegLayer3};
    return tags;
}

bool makeDestinationFormat(std::uint16_t tag, std::uint32_t rate, int channels, int bits, int kbps,
                           WAVEFORMATEX& out, std::string* why)
{
    if (channels < 1 || channels > 2 || rate < 1000 || rate > 192000)
        return setWhy(why, "1 or 2 channels at 1000 to 192000 Hz only");
    if (tag == kTagPcm) {
        if (bits != 8 && bits != 16)
            return setWhy(why, "PCM of 8 or 16 bits only");
        out = MakePcmFormat(rate, bits, channels);
        return true;
    }
    CodecContextPtr ctx = openEncoder(tag, rate, channels, kbps, why);
    if (!ctx)
        return false;
    WAVEFORMATEX f;
    f.wFormatTag = tag;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = rate;
    switch (tag) {
    case kTagALaw:
    case kTagMuLaw:
        f.wBitsPerSample = 8;
        f.nBlockAlign = static_cast<std::uint16_t>(channels);
        f.nAvgBytesPerSec = rate * static_cast<std::uint32_t>(channels);
        break;
    case kTagImaAdpcm:
    case kTagMsAdpcm:
        f.wBitsPerSample = 4;
        f.nBlockAlign = static_cast<std::uint16_t>(ctx->block_align);
        f.nAvgBytesPerSec = static_cast<std::uint32_t>(
            static_cast<std::uint64_t>(ctx->block_align) * rate / ctx->frame_size);
        if (tag == kTagImaAdpcm) {
            put16(f.extra, static_cast<std::uint16_t>(ctx->frame_size));
        } else {
            if (ctx->extradata_size != 32)
                return setWhy(why, "the MS ADPCM encoder gave no coefficient table");
            f.extra.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);
        }
        break;
    case kTagGsm610:
        f.nBlockAlign = 65;
        f.nAvgBytesPerSec = 1625;
        put16(f.extra, 320);
        break;
    case kTagMpegLayer3: {
        f.nBlockAlign = 1;
        f.nAvgBytesPerSec = static_cast<std::uint32_t>(kbps) * 125;
        // MPEGLAYER3WAVEFORMAT: id 1 (MPEG), padding as ISO says, the usual frame size,
        // one frame per block, LAME's encoder delay.
        const std::uint32_t frameBytes = (rate >= 32000 ? 144000u : 72000u) * kbps / rate;
        put16(f.extra, 1);
        put32(f.extra, 0);
        put16(f.extra, static_cast<std::uint16_t>(frameBytes));
        put16(f.extra, 1);
        put16(f.extra, 1105);
        break;
    }
    default:
        return setWhy(why, "not a format tag this writer encodes");
    }
    out = std::move(f);
    return true;
}

// The conversion state: the resampler to the destination's samples, and for a compressed
// destination the encoder with the samples waiting for a whole block.
struct CAcmWaveWriter::Codec
{
    SwrContext* swr = nullptr;
    CodecContextPtr encoder; // none: the destination is PCM
    AVAudioFifo* fifo = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    AVSampleFormat outFormat = AV_SAMPLE_FMT_S16;
    int outChannels = 2;
    int frameSize = 0;

    ~Codec()
    {
        av().swr_free(&swr);
        if (fifo)
            av().av_audio_fifo_free(fifo);
        av().av_frame_free(&frame);
        av().av_packet_free(&packet);
    }
};

CAcmWaveWriter::CAcmWaveWriter() = default;
CAcmWaveWriter::CAcmWaveWriter(RiffWaveWriter::Options options)
    : m_file(options)
{}

CAcmWaveWriter::~CAcmWaveWriter()
{
    close();
}

void CAcmWaveWriter::close()
{
    if (m_file.isOpen())
        finishFile();
    m_codec.reset();
    m_pending.clear();
    m_framesOut = 0;
}

int CAcmWaveWriter::openConverter(const WAVEFORMATEX& source, const WAVEFORMATEX& destination)
{
    close();
    m_source = source;
    m_destination = destination;
    if (source.wFormatTag != kTagPcm ||
        (source.wBitsPerSample != 8 && source.wBitsPerSample != 16) || source.nChannels < 1 ||
        source.nChannels > 2 || source.nSamplesPerSec == 0)
        return 0;
    if (destination.wFormatTag == kTagPcm && destination.nSamplesPerSec == source.nSamplesPerSec &&
        destination.wBitsPerSample == source.wBitsPerSample &&
        destination.nChannels == source.nChannels)
        return 1;

    if (!av().error.empty()) {
        KLOG_WARNING("record", "no sound conversion: %s", av().error.c_str());
        return 0;
    }
    auto codec = std::make_unique<Codec>();
    if (destination.wFormatTag == kTagPcm) {
        if (destination.wBitsPerSample != 8 && destination.wBitsPerSample != 16)
            return 0;
        codec->outFormat = pcmSampleFormat(destination.wBitsPerSample);
        codec->outChannels = destination.nChannels;
    } else {
        const int kbps = static_cast<int>(destination.nAvgBytesPerSec / 125);
        codec->encoder = openEncoder(destination.wFormatTag, destination.nSamplesPerSec,
                                     destination.nChannels, kbps, nullptr);
        if (!codec->encoder)
            return 0;
        codec->outFormat = codec->encoder->sample_fmt;
        codec->outChannels = destination.nChannels;
        codec->frameSize = codec->encoder->frame_size > 0 ? codec->encoder->frame_size : 1152;
        codec->fifo =
            av().av_audio_fifo_alloc(codec->outFormat, codec->outChannels, codec->frameSize);
        codec->frame = av().av_frame_alloc();
        codec->packet = av().av_packet_alloc();
        if (!codec->fifo || !codec->frame || !codec->packet)
            return 0;
    }
    AVChannelLayout inLayout, outLayout;
    av().av_channel_layout_default(&inLayout, source.nChannels);
    av().av_channel_layout_default(&outLayout, codec->outChannels);
    if (av().swr_alloc_set_opts2(&codec->swr, &outLayout, codec->outFormat,
                                 static_cast<int>(destination.nSamplesPerSec), &inLayout,
                                 pcmSampleFormat(source.wBitsPerSample),
                                 static_cast<int>(source.nSamplesPerSec), 0, nullptr) < 0 ||
        av().swr_init(codec->swr) < 0)
        return 0;
    m_codec = std::move(codec);
    return 1;
}

int CAcmWaveWriter::createFile(const std::string& path, const WAVEFORMATEX& destination)
{
    if (m_file.isOpen())
        m_file.abandon();
    return m_file.create(path, destination) ? 1 : 0;
}

bool CAcmWaveWriter::convert(bool last, std::vector<std::uint8_t>& out)
{
    Codec& c = *m_codec;
    const size_t sourceBlock = m_source.nBlockAlign;
    const int inFrames = static_cast<int>(m_pending.size() / sourceBlock);
    const std::uint8_t* in[1] = {m_pending.data()};
    const int room = av().swr_get_out_samples(c.swr, inFrames) + 16;

    // Resampled samples, in the destination's sample format.
    uint8_t** planes = nullptr;
    if (av().av_samples_alloc_array_and_samples(&planes, nullptr, c.outChannels, room, c.outFormat,
                                                0) < 0)
        return false;
    struct Free
    {
        uint8_t*** p;
        ~Free()
        {
            av().av_freep(&(*p)[0]);
            av().av_freep(p);
        }
    } freePlanes{&planes};
    int got = av().swr_convert(c.swr, planes, room, inFrames ? in : nullptr, inFrames);
    if (got < 0)
        return false;
    m_pending.erase(m_pending.begin(),
                    m_pending.begin() + static_cast<std::ptrdiff_t>(inFrames * sourceBlock));
    if (last) {
        // The resampler's tail.
        for (;;) {
            const int more = av().swr_get_out_samples(c.swr, 0);
            if (more <= 0 || got + more > room)
                break;
            uint8_t* tail[8];
            const int bytesPerSample = av().av_get_bytes_per_sample(c.outFormat);
            const bool planar = av().av_sample_fmt_is_planar(c.outFormat);
            for (int ch = 0; ch < (planar ? c.outChannels : 1); ++ch)
                tail[ch] = planes[ch] + got * bytesPerSample * (planar ? 1 : c.outChannels);
            const int n = av().swr_convert(c.swr, tail, room - got, nullptr, 0);
            if (n <= 0)
                break;
            got += n;
        }
    }

    if (!c.encoder) {
        const int bytes = got * c.outChannels * av().av_get_bytes_per_sample(c.outFormat);
        out.insert(out.end(), planes[0], planes[0] + bytes);
        m_framesOut += static_cast<std::uint64_t>(got);
        return true;
    }

    if (got > 0 && av().av_audio_fifo_write(c.fifo, reinterpret_cast<void**>(planes), got) < got)
        return false;
    m_framesOut += static_cast<std::uint64_t>(got);

    auto drain = [&]() -> bool {
        for (;;) {
            const int r = av().avcodec_receive_packet(c.encoder.get(), c.packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return false;
            out.insert(out.end(), c.packet->data, c.packet->data + c.packet->size);
            av().av_packet_unref(c.packet);
        }
    };
    auto sendFrame = [&](int samples) -> bool {
        av().av_frame_unref(c.frame);
        c.frame->nb_samples = c.frameSize;
        c.frame->format = c.outFormat;
        c.frame->sample_rate = c.encoder->sample_rate;
        if (av().av_channel_layout_copy(&c.frame->ch_layout, &c.encoder->ch_layout) < 0 ||
            av().av_frame_get_buffer(c.frame, 0) < 0)
            return false;
        av().av_samples_set_silence(c.frame->data, 0, c.frameSize, c.outChannels, c.outFormat);
        if (av().av_audio_fifo_read(c.fifo, reinterpret_cast<void**>(c.frame->data), samples) <
            samples)
            return false;
        if (av().avcodec_send_frame(c.encoder.get(), c.frame) < 0)
            return false;
        return drain();
    };
    while (av().av_audio_fifo_size(c.fifo) >= c.frameSize) {
        if (!sendFrame(c.frameSize))
            return false;
    }
    if (last) {
        // The last samples fill a block with silence; the "fact" chunk counts only the real ones.
        if (av().av_audio_fifo_size(c.fifo) > 0 && !sendFrame(av().av_audio_fifo_size(c.fifo)))
            return false;
        if (av().avcodec_send_frame(c.encoder.get(), nullptr) < 0 || !drain())
            return false;
    }
    return true;
}

int CAcmWaveWriter::write(const std::uint8_t* source, size_t length, std::vector<std::uint8_t>* out,
                          size_t* outLength, int position)
{
    std::vector<std::uint8_t> converted;
    if (!m_codec) {
        if (outLength)
            *outLength = length;
        if (out)
            out->assign(source, source + length);
        if (!m_file.isOpen())
            return 1;
        return m_file.write(source, length) == RiffWaveWriter::WriteResult::Written ? 1 : 0;
    }
    if (length)
        m_pending.insert(m_pending.end(), source, source + length);
    if (!convert(position == 1, converted))
        return 0;
    if (outLength)
        *outLength = converted.size();
    if (m_file.isOpen()) {
        m_file.setSampleFrames(static_cast<std::uint32_t>(m_framesOut));
        if (!converted.empty() && m_file.write(converted.data(), converted.size()) !=
                                      RiffWaveWriter::WriteResult::Written) {
            if (out)
                *out = std::move(converted);
            return 0;
        }
    }
    if (out)
        *out = std::move(converted);
    return 1;
}

int CAcmWaveWriter::flush()
{
    return write(nullptr, 0, nullptr, nullptr, 1);
}

int CAcmWaveWriter::finishFile()
{
    if (!m_file.isOpen())
        return 0;
    return m_file.finish() ? 1 : 0;
}

} // namespace record
