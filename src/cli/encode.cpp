// kolvo-cli encode FILES... [--type mp3|ra] [--bitrate K] [--out DIR] [--title T] [--author A]
// [--copyright C]: the file encoding batch without its window. RealAudio files are RealAudio
// 1.0 (14.4, 8 kHz mono) with the texts given (the title defaults to the file's base name).
// The log lines are the dialog's, on stdout; on a terminal a progress line on stderr follows
// the files being encoded.

#include "cli/commands.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/strings.h"
#include "record/encodingbatch.h"
#include "record/fileencodingdialog.h"
#include "record/kmpencengine.h"

#include <cstdio>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Progress : public record::EncodingBatch::Listener
{
public:
    Progress(size_t files, bool terminal)
        : m_files(files)
        , m_terminal(terminal)
    {}

    void fileStarted(int index, const std::string& output) override
    {
        m_percent[index] = 0;
        m_names[index] = output.substr(output.find_last_of('/') + 1);
        draw();
    }
    void progress(int index, int percent) override
    {
        m_percent[index] = percent;
        draw();
    }
    void fileEnded(int index, bool success, const std::string& line) override
    {
        m_percent.erase(index);
        clear();
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
        ++m_ended;
        m_failed += success ? 0 : 1;
        draw();
    }
    void clear()
    {
        if (m_terminal && m_drawn) {
            std::fputs("\r\033[K", stderr);
            m_drawn = false;
        }
    }
    int failed() const { return m_failed; }

private:
    void draw()
    {
        if (!m_terminal || m_percent.empty())
            return;
        std::string line = "encoding " + std::to_string(m_ended) + "/" + std::to_string(m_files);
        for (const auto& [index, percent] : m_percent)
            line += "  " + m_names[index] + " " + std::to_string(percent) + "%";
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        m_drawn = true;
    }

    size_t m_files;
    bool m_terminal;
    bool m_drawn = false;
    int m_ended = 0;
    int m_failed = 0;
    std::map<int, int> m_percent;
    std::map<int, std::string> m_names;
};

} // namespace

int runEncode(const CliArgs& args)
{
    record::EncodeJob job;
    int bitRate = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--type" || a == "--bitrate" || a == "--out" || a == "--title" ||
            a == "--author" || a == "--copyright") {
            if (i + 1 >= args.size())
                return cliUsage(a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--type") {
                if (v == "mp3")
                    job.type = 0;
                else if (v == "ra")
                    job.type = 1;
                else
                    return cliUsage("--type is mp3 or ra");
            } else if (a == "--bitrate") {
                try {
                    bitRate = std::stoi(v);
                } catch (...) {
                    bitRate = -1;
                }
                if (!record::isMpegBitRate(bitRate))
                    return cliUsage(
                        "--bitrate is one of 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, "
                        "192, 224, 256, 320");
            } else if (a == "--title") {
                job.clipTitle = v;
            } else if (a == "--author") {
                job.clipAuthor = v;
            } else if (a == "--copyright") {
                job.clipCopyright = v;
            } else {
                struct stat st
                {};
                if (::stat(v.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                    return cliFail("--out " + v + " is not a folder");
                if (::access(v.c_str(), W_OK) != 0)
                    return cliFail("cannot write into " + v);
                job.outputFolder = v;
            }
        } else if (a.rfind("--", 0) == 0) {
            return cliUsage("unknown option " + a);
        } else {
            job.files.push_back(a);
        }
    }
    if (job.files.empty())
        return cliUsage("encode needs the WAVE files to encode");
    if (bitRate == 0) {
        // The bit rate the encoding options hold.
        Profile::SetRegistryKey(LoadString(1016));
        AppSettings settings;
        const Profile profile;
        LoadSettingsFrom(profile, settings);
        bitRate = record::mpegBitRateTable()[static_cast<size_t>(record::bitRateEntryFor(
                                                 settings.recordMpegBitRate))]
                      .kbps;
    }
    job.bitRate = bitRate;

    record::EncodingBatch batch(job);
    Progress progress(job.files.size(), ::isatty(STDERR_FILENO) == 1);
    batch.run(progress);
    progress.clear();
    if (progress.failed() > 0)
        return cliFail(std::to_string(progress.failed()) + " of " +
                       std::to_string(job.files.size()) +
                       " files could not be encoded (see above)");
    return kCliOk;
}
