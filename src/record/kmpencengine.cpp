#include "record/kmpencengine.h"

#include "platform/log.h"

#include <lame/lame.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using record::WAVEFORMATEX;

namespace record {

const std::vector<MpegProfile>& mpegProfiles()
{
    static const std::vector<MpegProfile> profiles{
        {"128 kbps, stereo (CD quality)", 128, 0, false},
        {"160 kbps, stereo", 160, 0, false},
        {"192 kbps, stereo", 192, 0, false},
        {"256 kbps, stereo", 256, 0, false},
        {"320 kbps, stereo", 320, 0, false},
        {"Variable, high quality (about 190 kbps)", 0, 2, false},
        {"Variable, standard (about 130 kbps)", 0, 5, false},
        {"64 kbps, mono (speech)", 64, 0, true},
    };
    return profiles;
}

bool isMpegBitRate(int kbps)
{
    static const int rates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    return std::find(std::begin(rates), std::end(rates), kbps) != std::end(rates);
}

namespace {

struct LameDeleter
{
    void operator()(lame_global_flags* l) const { lame_close(l); }
};

struct FileCloser
{
    void operator()(FILE* f) const { std::fclose(f); }
};

} // namespace

// One encoder: a thread's own, or one lent to it.
class MpegEncoder
{
public:
    ~MpegEncoder() { discard(); }
    std::unique_ptr<lame_global_flags, LameDeleter> lame;
    std::unique_ptr<FILE, FileCloser> file;
    std::string path;
    std::string tempPath;
    int channels = 2;
    std::vector<std::uint8_t> partial; // bytes of a sample frame not yet complete
    std::vector<unsigned char> out;
    std::vector<short> mono;
    std::optional<Id3Tag> tag;
    bool failed = false;

    bool put(const unsigned char* bytes, int count)
    {
        if (count <= 0 || failed)
            return !failed;
        if (std::fwrite(bytes, 1, static_cast<size_t>(count), file.get()) !=
            static_cast<size_t>(count)) {
            failed = true;
            KLOG_WARNING("record", "MP3 encoder: cannot write %s: %s", tempPath.c_str(),
                         std::strerror(errno));
        }
        return !failed;
    }

    void discard()
    {
        file.reset();
        if (!tempPath.empty())
            ::unlink(tempPath.c_str());
        lame.reset();
        partial.clear();
        tag.reset();
        failed = false;
    }
};

namespace {

using Encoder = MpegEncoder;
thread_local Encoder t_own;
thread_local Encoder* t_lent = nullptr;
thread_local std::optional<Id3Tag> t_nextTag;

Encoder& current()
{
    return t_lent ? *t_lent : t_own;
}

int open(const std::string& path, int rate, int channels, int kbps, int vbrLevel, bool mono)
{
    Encoder& e = current();
    e.discard();
    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    if (!lame)
        return 0;
    lame_set_in_samplerate(lame.get(), rate);
    lame_set_num_channels(lame.get(), channels);
    lame_set_out_samplerate(lame.get(), rate);
    if (mono || channels == 1)
        lame_set_mode(lame.get(), MONO);
    if (kbps > 0) {
        lame_set_VBR(lame.get(), vbr_off);
        lame_set_brate(lame.get(), kbps);
    } else {
        lame_set_VBR(lame.get(), vbr_default);
        lame_set_VBR_q(lame.get(), vbrLevel);
    }
    if (lame_init_params(lame.get()) < 0)
        return 0;

    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        KLOG_INFO("record", "MP3 encoder: cannot create a file in %s: %s", folder.c_str(),
                  std::strerror(errno));
        return -1;
    }
    ::fchmod(fd, 0644);
    e.file.reset(::fdopen(fd, "wb"));
    if (!e.file) {
        ::close(fd);
        ::unlink(temp.c_str());
        return -1;
    }
    std::setvbuf(e.file.get(), nullptr, _IOFBF, 1 << 16);
    e.lame = std::move(lame);
    e.path = path;
    e.tempPath = temp;
    e.channels = channels;
    e.tag = t_nextTag;
    t_nextTag.reset();
    return 1;
}

} // namespace

void setMpegEncoderTag(const Id3Tag& tag)
{
    t_nextTag = tag;
}

std::shared_ptr<MpegEncoder> makeMpegEncoder()
{
    return std::make_shared<MpegEncoder>();
}

MpegEncoderUse::MpegEncoderUse(MpegEncoder* encoder)
    : m_previous(t_lent)
{
    t_lent = encoder;
}

MpegEncoderUse::~MpegEncoderUse()
{
    t_lent = m_previous;
}

} // namespace record

using namespace record;

int KMPEncEngine_OpenWFX(const std::string& path, const WAVEFORMATEX& format, int kbps)
{
    static const int rates[] = {32000, 44100, 48000, 16000, 22050, 24000, 8000, 11025, 12000};
    if (format.wFormatTag != kTagPcm || format.wBitsPerSample != 16 || format.nChannels < 1 ||
        format.nChannels > 2 ||
        std::find(std::begin(rates), std::end(rates), static_cast<int>(format.nSamplesPerSec)) ==
            std::end(rates) ||
        kbps < 8 || kbps > 320)
        return 0;
    return record::open(path, static_cast<int>(format.nSamplesPerSec), format.nChannels, kbps, 0,
                        false);
}

int KMPEncEngine_OpenProfile(const std::string& path, int profile)
{
    const auto& profiles = mpegProfiles();
    if (profile < 0 || profile >= static_cast<int>(profiles.size()))
        profile = 0;
    const MpegProfile& p = profiles[static_cast<size_t>(profile)];
    return record::open(path, 44100, 2, p.kbps, p.vbrLevel, p.mono);
}

int KMPEncEngine_Write(const std::uint8_t* bytes, int count)
{
    Encoder& e = record::current();
    if (!e.lame || count < 0)
        return 0;
    const int frameBytes = 2 * e.channels;
    // Complete the sample frame a previous call left open.
    std::vector<std::uint8_t> joined;
    if (!e.partial.empty()) {
        const int need = std::min(count, frameBytes - static_cast<int>(e.partial.size()));
        e.partial.insert(e.partial.end(), bytes, bytes + need);
        bytes += need;
        count -= need;
        if (static_cast<int>(e.partial.size()) == frameBytes) {
            joined.swap(e.partial);
        }
    }
    auto encode = [&](const std::uint8_t* data, int frames) -> bool {
        if (frames <= 0)
            return true;
        e.out.resize(static_cast<size_t>(frames) * 5 / 4 + 7200);
        const short* pcm = reinterpret_cast<const short*>(data);
        int n;
        if (e.channels == 2) {
            n = lame_encode_buffer_interleaved(e.lame.get(), const_cast<short*>(pcm), frames,
                                               e.out.data(), static_cast<int>(e.out.size()));
        } else {
            n = lame_encode_buffer(e.lame.get(), pcm, pcm, frames, e.out.data(),
                                   static_cast<int>(e.out.size()));
        }
        return n >= 0 && e.put(e.out.data(), n);
    };
    if (!joined.empty() && !encode(joined.data(), 1))
        return 0;
    const int frames = count / frameBytes;
    if (!encode(bytes, frames))
        return 0;
    const int rest = count - frames * frameBytes;
    e.partial.insert(e.partial.end(), bytes + frames * frameBytes, bytes + count);
    (void)rest;
    return e.failed ? 0 : 1;
}

int KMPEncEngine_Flush()
{
    Encoder& e = record::current();
    if (!e.lame)
        return 0;
    e.partial.clear();
    e.out.resize(7200);
    const int n = lame_encode_flush(e.lame.get(), e.out.data(), static_cast<int>(e.out.size()));
    return n >= 0 && e.put(e.out.data(), n) ? 1 : 0;
}

int KMPEncEngine_Close()
{
    Encoder& e = record::current();
    if (!e.lame)
        return 0;
    bool ok = !e.failed;
    if (ok) {
        // LAME's information frame takes the place it kept at the start.
        unsigned char frame[2880];
        const size_t size = lame_get_lametag_frame(e.lame.get(), frame, sizeof frame);
        if (size > 0 && size <= sizeof frame) {
            std::fflush(e.file.get());
            const long end = std::ftell(e.file.get());
            ok = std::fseek(e.file.get(), 0, SEEK_SET) == 0 &&
                 e.put(frame, static_cast<int>(size)) &&
                 std::fseek(e.file.get(), end, SEEK_SET) == 0;
        }
    }
    if (ok && e.tag) {
        const std::string body = FormatId3Tag(*e.tag);
        const std::string tag = "TAG" + body;
        ok =
            e.put(reinterpret_cast<const unsigned char*>(tag.data()), static_cast<int>(tag.size()));
    }
    // What was written keeps its name even when the disk refused more: it plays.
    const bool closed = std::fclose(e.file.release()) == 0;
    const bool renamed = ::rename(e.tempPath.c_str(), e.path.c_str()) == 0;
    if (!renamed)
        ::unlink(e.tempPath.c_str());
    e.tempPath.clear();
    e.discard();
    return ok && closed && renamed ? 1 : 0;
}

int KMPEncEngine_GetProfilesNum()
{
    return static_cast<int>(mpegProfiles().size());
}

std::vector<std::string> KMPEncEngine_GetProfiles()
{
    std::vector<std::string> names;
    for (const MpegProfile& p : mpegProfiles())
        names.emplace_back(p.name);
    return names;
}
