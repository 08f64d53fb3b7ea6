// The CD database client on loopback: a whole lookup through the status dialog, timed from
// its first tick to its end (with a 1 ms tick, so the wait for ticks hardly counts), against
// the same three commands spoken over a bare QTcpSocket; and the line queue's throughput
// against a plain search for CR LF in one buffer.
#include "cddb/dialogs.h"
#include "cddb/linequeue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

template <typename T>
T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A CDDBP server that knows one disc of twelve tracks.
class LoopbackServer : public QObject
{
public:
    LoopbackServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QTcpSocket::readyRead, s, [s] { answer(s); });
                s->write("201 bench CDDBP server ready\r\n");
            }
        });
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_server.serverPort()); }

private:
    static void answer(QTcpSocket* s)
    {
        while (s->canReadLine()) {
            const QByteArray line = s->readLine();
            if (line.startsWith("cddb hello")) {
                s->write("200 hello and welcome\r\n");
            } else if (line.startsWith("cddb query")) {
                s->write("200 rock 9a0b5d0c Bench Artist / Bench Title\r\n");
            } else if (line.startsWith("cddb read")) {
                std::string reply = "210 rock 9a0b5d0c entry follows\r\n# xmcd\r\n#\r\n"
                                    "# Revision: 5\r\nDISCID=9a0b5d0c\r\n"
                                    "DTITLE=Bench Artist / Bench Title\r\n";
                for (int i = 0; i < 12; ++i)
                    reply += "TTITLE" + std::to_string(i) + "=Track number " +
                             std::to_string(i + 1) + " of the bench disc\r\n";
                reply += "EXTD=\r\nPLAYORDER=\r\n.\r\n";
                s->write(reply.data(), static_cast<qint64>(reply.size()));
            }
        }
    }
    QTcpServer m_server;
};

CddbDiscInfo benchDisc()
{
    std::vector<std::int32_t> offsets;
    for (int i = 0; i < 12; ++i)
        offsets.push_back(150 + i * 17000);
    CddbDiscInfo info;
    ComputeDiscId(CddbAlbumFromToc(offsets, 150 + 12 * 17000), info);
    return info;
}

double lookupMs(const std::string& server, const CddbDiscInfo& info)
{
    CddbQueryDialog dialog(server, info);
    QElapsedTimer clock;
    double ms = -1;
    QObject::connect(&dialog.session(), &CddbQuerySession::statusChanged, [&clock](UINT id) {
        if (id == 2087) // shown on the first tick
            clock.start();
    });
    QObject::connect(&dialog.session(), &CddbQuerySession::finished, [&clock, &ms](bool ok, UINT) {
        if (ok)
            ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    });
    dialog.exec();
    return dialog.record().trackTitles.size() == 12 ? ms : -1;
}

// The same exchange with nothing but a socket and an event loop.
double peerMs(quint16 port, const CddbDiscInfo& info)
{
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    QEventLoop loop;
    int step = 0;
    int titles = 0;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        while (socket.canReadLine()) {
            const QByteArray line = socket.readLine();
            if (step == 0) {
                socket.write("cddb hello bench localhost Peer 1.0\n");
                step = 1;
            } else if (step == 1) {
                socket.write((CddbQueryCommand(info) + "\n").c_str());
                step = 2;
            } else if (step == 2) {
                const QList<QByteArray> words = line.split(' ');
                socket.write("cddb read " + words[1] + " " + words[2] + "\n");
                step = 3;
            } else if (line.startsWith("TTITLE")) {
                ++titles;
            } else if (line.startsWith(".")) {
                loop.quit();
            }
        }
    });
    socket.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    return titles == 12 ? ms : -1;
}

std::string lineStream(size_t bytes)
{
    std::mt19937 random(5);
    std::string s;
    s.reserve(bytes + 256);
    while (s.size() < bytes) {
        const size_t length = 20 + random() % 100;
        s.append("TTITLE7=");
        for (size_t i = 8; i < length; ++i)
            s += static_cast<char>('a' + random() % 26);
        s += "\r\n";
    }
    return s;
}

// MB/s of lines through the queue, fed in reads of 255 bytes as the connections do.
double queueMBs(const std::string& stream, size_t& lines)
{
    QElapsedTimer clock;
    clock.start();
    LineQueue q;
    std::string line;
    lines = 0;
    for (size_t pos = 0; pos < stream.size(); pos += LineQueue::kMaxLine) {
        q.append(stream.data() + pos, std::min(LineQueue::kMaxLine, stream.size() - pos));
        while (q.takeLine(line))
            ++lines;
    }
    return static_cast<double>(stream.size()) / 1e6 /
           (static_cast<double>(clock.nsecsElapsed()) / 1e9);
}

// The least the same work can be: find each CR LF in the whole buffer and copy the line out.
double peerMBs(const std::string& stream, size_t& lines)
{
    QElapsedTimer clock;
    clock.start();
    std::string line;
    lines = 0;
    const std::string_view all = stream;
    for (size_t pos = 0;;) {
        const size_t end = all.find("\r\n", pos);
        if (end == std::string_view::npos)
            break;
        line.assign(all.substr(pos, end - pos));
        ++lines;
        pos = end + 2;
    }
    return static_cast<double>(stream.size()) / 1e6 /
           (static_cast<double>(clock.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char** argv)
{
    // The offscreen platform has a word to say about every dialog shown; the figures matter.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg && !text.contains("propagateSizeHints"))
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir home;
    setenv("KOLVO_HOME", home.path().toUtf8().constData(), 1);
    QApplication app(argc, argv);

    LoopbackServer server;
    const CddbDiscInfo info = benchDisc();
    SetCddbTickInterval(1);
    constexpr int kRuns = 25;
    std::vector<double> ours, peer;
    lookupMs(server.address(), info); // warm up
    for (int i = 0; i < kRuns; ++i) {
        const double o = lookupMs(server.address(), info);
        const double p = peerMs(static_cast<quint16>(std::stoi(server.address().substr(10))), info);
        if (o < 0 || p < 0) {
            std::fprintf(stderr, "cddb: a lookup did not read the record\n");
            return 1;
        }
        ours.push_back(o);
        peer.push_back(p);
    }
    const double om = median(ours), pm = median(peer);
    std::printf("lookup on loopback, first tick to end: kolvo %.2f ms (worst %.2f), bare socket "
                "%.2f ms, ratio %.2f (goal < 20 ms)\n",
                om, *std::max_element(ours.begin(), ours.end()), pm, om / pm);

    const std::string stream = lineStream(64u << 20);
    std::vector<double> queue, plain;
    size_t queueLines = 0, plainLines = 0;
    for (int i = 0; i < 5; ++i) {
        queue.push_back(queueMBs(stream, queueLines));
        plain.push_back(peerMBs(stream, plainLines));
    }
    if (queueLines != plainLines) {
        std::fprintf(stderr, "cddb: the line queue found %zu lines, the plain search %zu\n",
                     queueLines, plainLines);
        return 1;
    }
    const double qm = median(queue), lm = median(plain);
    std::printf("line queue, 255-byte reads: %.0f MB/s, plain CR LF search %.0f MB/s, ratio %.2f "
                "(goal >= 200 MB/s)\n",
                qm, lm, qm / lm);
    return (om < 20 && qm >= 200) ? 0 : 1;
}
