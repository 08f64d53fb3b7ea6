#include "vcdtest.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

namespace vcdtest {
namespace {

bool exists(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path));
}

std::string binOf(const std::string& cue)
{
    return cue.substr(0, cue.size() - 4) + ".bin";
}

} // namespace

const std::string& folder()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kolvo-vcd-XXXXXX"));
    static const std::string path = dir.path().toStdString();
    return path;
}

bool run(const std::string& command, std::string* out)
{
    FILE* pipe = ::popen(("(" + command + ") 2>/dev/null").c_str(), "r");
    if (!pipe)
        return false;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (out)
        *out = text;
    return status == 0;
}

std::string clip(const std::string& name, double seconds, int hz)
{
    const std::string path = folder() + "/" + name + ".mpg";
    if (exists(path))
        return path;
    char command[600];
    std::snprintf(command, sizeof command,
                  "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=25 "
                  "-f lavfi -i sine=frequency=%d:sample_rate=44100 -t %g -target pal-vcd '%s'",
                  hz, seconds, path.c_str());
    return run(command) ? path : std::string();
}

std::string tracksDisc(const std::string& name, const std::vector<std::string>& clips)
{
    const std::string cue = folder() + "/" + name + ".cue";
    if (exists(cue))
        return cue;
    std::string command =
        "cd '" + folder() + "' && vcdimager -t vcd2 -c '" + name + ".cue' -b '" + name + ".bin'";
    for (const std::string& c : clips)
        command += " '" + c + "'";
    return run(command) ? cue : std::string();
}

std::string xmlDisc(const std::string& name, const std::string& body)
{
    const std::string cue = folder() + "/" + name + ".cue";
    if (exists(cue))
        return cue;
    const std::string xml =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE videocd PUBLIC \"-//GNU//DTD VideoCD//EN\" "
        "\"http://www.gnu.org/software/vcdimager/videocd.dtd\">\n"
        "<videocd xmlns=\"http://www.gnu.org/software/vcdimager/1.0/\" class=\"vcd\" "
        "version=\"2.0\">\n"
        "<info><album-id>KOLVOTEST</album-id><volume-count>1</volume-count>"
        "<volume-number>1</volume-number></info>\n"
        "<pvd><volume-id>KOLVO</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>\n" +
        body + "</videocd>\n";
    const std::string xmlPath = folder() + "/" + name + ".xml";
    if (!writeBytes(xmlPath, xml))
        return {};
    const std::string command = "cd '" + folder() + "' && vcdxbuild -q -c '" + name + ".cue' -b '" +
                                name + ".bin' '" + xmlPath + "'";
    return run(command) ? cue : std::string();
}

std::string menuDisc()
{
    if (clip("one", 2, 440).empty() || clip("two", 2, 880).empty())
        return {};
    return xmlDisc("menu", R"(<sequence-items>
  <sequence-item src="one.mpg" id="seq1"><entry id="seq1b">1.0</entry></sequence-item>
  <sequence-item src="two.mpg" id="seq2"/>
</sequence-items>
<pbc>
  <selection id="menu">
    <bsn>1</bsn>
    <next ref="list1" x1="10" y1="20" x2="30" y2="40"/>
    <return ref="end"/>
    <default ref="list2"/>
    <timeout ref="list2"/>
    <wait>5</wait>
    <loop jump-timing="immediate">3</loop>
    <play-item ref="seq2"/>
    <select ref="list1" x1="1" y1="2" x2="100" y2="120"/>
    <select ref="list2" x1="130" y1="2" x2="250" y2="120"/>
  </selection>
  <playlist id="list1">
    <prev ref="menu"/>
    <next ref="list2"/>
    <return ref="menu"/>
    <playtime>3</playtime>
    <wait>5</wait>
    <autowait>0</autowait>
    <play-item ref="seq1"/>
    <play-item ref="seq1b"/>
    <play-item ref="seq2"/>
  </playlist>
  <playlist id="list2">
    <prev ref="list1"/>
    <return ref="menu"/>
    <wait>-1</wait>
    <play-item ref="seq2"/>
  </playlist>
  <endlist id="end" rejected="true"/>
</pbc>
)");
}

std::string trackModeDisc()
{
    if (clip("one", 2, 440).empty() || clip("two", 2, 880).empty())
        return {};
    return xmlDisc("tracks", R"(<sequence-items>
  <sequence-item src="one.mpg" id="seq1"><entry id="seq1b">1.0</entry></sequence-item>
  <sequence-item src="two.mpg" id="seq2"/>
</sequence-items>
)");
}

std::string segmentDisc()
{
    if (clip("one", 2, 440).empty() || clip("seg", 1, 660).empty())
        return {};
    return xmlDisc("segment",
                   R"(<segment-items><segment-item src="seg.mpg" id="seg1"/></segment-items>
<sequence-items>
  <sequence-item src="one.mpg" id="seq1"/>
</sequence-items>
<pbc>
  <selection id="menu">
    <bsn>2</bsn>
    <timeout ref="list1"/>
    <wait>0</wait>
    <loop>1</loop>
    <play-item ref="seg1"/>
    <select ref="list1"/>
  </selection>
  <playlist id="list1">
    <prev ref="menu"/>
    <play-item ref="seq1"/>
    <play-item ref="seg1"/>
  </playlist>
</pbc>
)");
}

std::string copyDisc(const std::string& cue, const std::string& name)
{
    const std::string to = folder() + "/" + name + ".cue";
    std::string sheet = bytesOf(cue);
    sheet = std::regex_replace(sheet, std::regex("FILE \"[^\"]*\""), "FILE \"" + name + ".bin\"");
    if (!writeBytes(to, sheet) || !writeBytes(binOf(to), bytesOf(binOf(cue))))
        return {};
    return to;
}

int fileSector(const std::string& cue, const std::string& isoName)
{
    std::string out;
    if (!run("vcd-info --no-header -i '" + cue + "'", &out))
        return -1;
    const std::regex line("\\[LSN +([0-9]+)\\].* " + isoName + ";1");
    std::smatch m;
    if (!std::regex_search(out, m, line))
        return -1;
    return std::stoi(m[1]);
}

bool patchForm1(const std::string& cue, int sector, int offset, const std::string& bytes)
{
    std::fstream f(binOf(cue), std::ios::binary | std::ios::in | std::ios::out);
    if (!f)
        return false;
    // Sync (12), header (4) and subheader (8) come before the user data.
    f.seekp(static_cast<std::streamoff>(sector) * 2352 + 24 + offset);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f.flush());
}

std::string readForm1(const std::string& cue, int sector)
{
    const std::string bin = bytesOf(binOf(cue));
    const size_t at = static_cast<size_t>(sector) * 2352 + 24;
    return at + 2048 <= bin.size() ? bin.substr(at, 2048) : std::string();
}

std::string folderDisc(const std::string& name, const std::string& cue,
                       const std::vector<std::string>& clips)
{
    const std::string dir = folder() + "/" + name;
    QDir().mkpath(QString::fromStdString(dir + "/VCD"));
    QDir().mkpath(QString::fromStdString(dir + "/MPEGAV"));
    bool ok = true;
    for (const char* file : {"INFO.VCD", "ENTRIES.VCD"})
        ok = ok && writeBytes(dir + "/VCD/" + file, readForm1(cue, fileSector(cue, file)));
    for (size_t i = 0; i < clips.size(); ++i)
        ok = ok &&
             writeBytes(dir + "/MPEGAV/AVSEQ0" + std::to_string(i + 1) + ".DAT", bytesOf(clips[i]));
    return ok ? dir : std::string();
}

std::string bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out.flush());
}

} // namespace vcdtest
