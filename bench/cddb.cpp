// The CD database client on loopback: a whole lookup through the status dialog, over the line
// protocol and over HTTP, timed from its first tick to the moment the record is complete (the
// wait for the tick that notices it is left out), each against the same commands sent by a
// bare QTcpSocket or QNetworkAccessManager; and the line queue's throughput against a plain
// search for CR LF in one buffer.
#include "cddb/dialogs.h"
#include "cddb/linequeue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

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

// A server that knows one disc of twelve tracks, speaking the line protocol or its HTTP form.
class LoopbackServer : public QObject
{
public:
    enum Mode { Cddbp, Http };

    explicit LoopbackServer(Mode mode)
        : m_mode(mode)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                if (m_mode == Cddbp) {
                    connect(s, &QTcpSocket::readyRead, s, [s] { answerCddbp(s); });
                    s->write("201 bench CDDBP server ready\r\n");
                } else {
                    connect(s, &QTcpSocket::readyRead, s, [s] { answerHttp(s); });
                }
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    std::string address() const
    {
        const std::string hostPort = "127.0.0.1:" + std::to_string(port());
        return m_mode == Cddbp ? hostPort : "http://" + hostPort + "/~cddb/cddb.cgi";
    }

private:
    static std::string reply(const QByteArray& command)
    {
        if (command.startsWith("cddb hello"))
            return "200 hello and welcome\r\n";
        if (command.startsWith("cddb query"))
            return "200 rock 9a0b5d0c Bench Artist / Bench Title\r\n";
        if (!command.startsWith("cddb read"))
            return "500 Unrecognized command\r\n";
        std::string text = "210 rock 9a0b5d0c entry follows\r\n# xmcd\r\n#\r\n"
                           "# Revision: 5\r\nDISCID=9a0b5d0c\r\n"
                           "DTITLE=Bench Artist / Bench Title\r\n";
        for (int i = 0; i < 12; ++i)
            text += "TTITLE" + std::to_string(i) + "=Track number " + std::to_string(i + 1) +
                    " of the bench disc\r\n";
        return text + "EXTD=\r\nPLAYORDER=\r\n.\r\n";
    }

    static void answerCddbp(QTcpSocket* s)
    {
        while (s->canReadLine()) {
            const std::string text = reply(s->readLine());
            s->write(text.data(), static_cast<qint64>(text.size()));
        }
    }

    // One request per connection: the command is the "cmd" of the request line's query.
    static void answerHttp(QTcpSocket* s)
    {
        const QByteArray request = s->property("request").toByteArray() + s->readAll();
        s->setProperty("request", request);
        if (!request.contains("\r\n\r\n"))
            return;
        const QByteArray target = request.left(request.indexOf("\r\n")).split(' ').value(1);
        const int cmd = target.indexOf("cmd=");
        const int end = target.indexOf('&', cmd);
        QByteArray command = cmd < 0 ? QByteArray() : target.mid(cmd + 4, end - cmd - 4);
        command = QByteArray::fromPercentEncoding(command.replace('+', ' '));
        const std::string body = reply(command);
        const std::string text = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                                 body;
        s->write(text.data(), static_cast<qint64>(text.size()));
        s->disconnectFromHost();
    }

    Mode m_mode;
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

// From the first tick, which starts the exchange, to the record's last line: the session only
// notices the end on its next tick, and that wait is the tick's, not the lookup's.
double lookupMs(const std::string& server, const CddbDiscInfo& info)
{
    CddbQueryDialog dialog(server, info);
    QElapsedTimer clock;
    double ms = -1;
    QTimer watch; // every turn of the event loop
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const CddbConnection* c = dialog.session().connection();
        if (c && ms < 0 && c->state() == CddbProtocol::Idle)
            ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    });
    QObject::connect(&dialog.session(), &CddbQuerySession::statusChanged, [&](UINT id) {
        if (id == 2087) { // shown on the first tick
            clock.start();
            watch.start(0);
        }
    });
    dialog.exec();
    return dialog.result() == QDialog::Accepted && dialog.record().trackTitles.size() == 12 ? ms
                                                                                            : -1;
}

// The same exchange with nothing but a socket and an event loop.
double cddbpPeerMs(quint16 port, const CddbDiscInfo& info)
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

// The same two requests through a bare network access manager.
double httpPeerMs(const std::string& url, const CddbDiscInfo& info)
{
    QNetworkAccessManager network;
    QEventLoop loop;
    int titles = 0;
    const std::string hello = "&hello=bench+localhost+Peer+1.0&proto=1";
    const auto get = [&](std::string command) {
        std::replace(command.begin(), command.end(), ' ', '+');
        return network.get(QNetworkRequest(
            QUrl::fromEncoded(QByteArray::fromStdString(url + "?cmd=" + command + hello))));
    };
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* query = get(CddbQueryCommand(info));
    QObject::connect(query, &QNetworkReply::finished, [&] {
        const QList<QByteArray> words = query->readLine().trimmed().split(' ');
        QNetworkReply* read =
            get("cddb read " + words.value(1).toStdString() + " " + words.value(2).toStdString());
        QObject::connect(read, &QNetworkReply::finished, [&, read] {
            while (read->canReadLine())
                titles += read->readLine().startsWith("TTITLE");
            read->deleteLater();
            loop.quit();
        });
        query->deleteLater();
    });
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

    const CddbDiscInfo info = benchDisc();
    // A short tick so that the runs are quick; it is not part of the figures.
    SetCddbTickInterval(5);
    constexpr int kRuns = 25;
    bool lookupsFast = true;
    for (const LoopbackServer::Mode mode : {LoopbackServer::Cddbp, LoopbackServer::Http}) {
        LoopbackServer server(mode);
        const bool http = mode == LoopbackServer::Http;
        const auto peer = [&] {
            return http ? httpPeerMs(server.address(), info) : cddbpPeerMs(server.port(), info);
        };
        lookupMs(server.address(), info); // warm up
        peer();
        std::vector<double> ours, theirs;
        for (int i = 0; i < kRuns; ++i) {
            const double o = lookupMs(server.address(), info);
            const double p = peer();
            if (o < 0 || p < 0) {
                std::fprintf(stderr, "cddb: a %s lookup did not read the record\n",
                             http ? "HTTP" : "CDDBP");
                return 1;
            }
            ours.push_back(o);
            theirs.push_back(p);
        }
        const double om = median(ours), pm = median(theirs);
        std::printf("lookup over %s on loopback, first tick to record (tick excluded): kolvo "
                    "%.2f ms (worst %.2f), %s %.2f ms, ratio %.2f (goal < 20 ms)\n",
                    http ? "HTTP" : "CDDBP", om, *std::max_element(ours.begin(), ours.end()),
                    http ? "bare QNetworkAccessManager" : "bare socket", pm, om / pm);
        lookupsFast = lookupsFast && om < 20;
    }

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
    return (lookupsFast && qm >= 200) ? 0 : 1;
}
