#include "cddbtesting.h"

#include "albums/album.h"
#include "cddb/cdalbum.h"
#include "cddb/sessions.h"
#include "platform/strings.h"

#include <QEventLoop>

void CddbTest::SetUp()
{
    KolvoHomeTest::SetUp();
    setInterfaceLanguage("en");
    SetCddbTickInterval(5);
    setMessageBoxHook(
        [this](const QString& caption, const QString& text, MessageIcon, MessageButtons buttons) {
            captions.push_back(caption.toStdString());
            messages.push_back(text.toStdString());
            return buttons == MessageButtons::YesNo ? answer : IDOK;
        });
}

void CddbTest::TearDown()
{
    setMessageBoxHook({});
    SetCddbTickInterval(1000);
    KolvoHomeTest::TearDown();
}

std::string describe(const CddbAlbum& a)
{
    std::string s = a.artist + " / " + a.title + " [" + a.genre + " r" +
                    std::to_string(a.revision) + "] {" + a.extendedInfo + "}";
    for (const CddbTrack& t : a.tracks)
        s += " | " + std::to_string(t.startFrame) + " " + t.title + " {" + t.extendedInfo + "}";
    return s + " | end " + std::to_string(a.discEndFrame);
}

std::string describe(const Album& album)
{
    return describe(CddbAlbumOf(album));
}

void saveCdAlbum(const std::string& key, const CddbAlbum& a)
{
    Album album(AlbumKindCd);
    ASSERT_TRUE(album.Open(key, 0));
    for (const CddbTrack& t : a.tracks)
        album.AddSong(t.title, t.extendedInfo, t.lengthMs, t.startFrame);
    album.setTitle(a.title);
    album.setArtist(a.artist);
    album.setExtendedInfo(a.extendedInfo);
    album.setGenre(a.genre);
    album.setRevision(a.revision);
    album.setDiscLengthMs(a.discLengthMs);
    album.setDiscEndFrame(a.discEndFrame);
    ASSERT_TRUE(album.Save());
}

std::string storedCdAlbum(const std::string& key)
{
    Album album(AlbumKindCd);
    return album.LoadForReading(key) ? describe(album) : "";
}

SmtpSink::SmtpSink(const std::string& mode, const std::string& outDir)
{
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(KOLVO_SOURCE_DIR "/tests/cddb/smtp_sink.py"),
                     QString::fromStdString(mode), QString::fromStdString(outDir)});
    if (!m_process.waitForStarted(10000))
        return;
    QByteArray out;
    while (!out.contains('\n') && m_process.waitForReadyRead(10000))
        out += m_process.readAllStandardOutput();
    if (out.startsWith("PORT "))
        m_port = out.mid(5).trimmed().toInt();
}

SmtpSink::~SmtpSink()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
}

std::string SmtpSink::errors()
{
    return m_process.readAllStandardError().toStdString();
}

ProcessResult runCli(const std::string& arguments)
{
    QProcess process;
    const QStringList list = QString::fromStdString(arguments).split(' ', Qt::SkipEmptyParts);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    process.start(QString::fromStdString(builtProgram("kolvo-cli")), list);
    loop.exec();
    ProcessResult run;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

std::vector<std::string> crlfLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t pos = 0, end = 0; pos < text.size(); pos = end + 2) {
        end = std::min(text.find("\r\n", pos), text.size());
        lines.push_back(text.substr(pos, end - pos));
    }
    return lines;
}
