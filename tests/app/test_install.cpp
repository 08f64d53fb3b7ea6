// Kolvo installed the way `make install` installs it: into a temporary DESTDIR, then run from
// there with no trace of the build tree, then removed again.

#include "platform/associations.h"
#include "support/kolvoprocess.h"
#include "support/testhome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <sys/stat.h>

namespace {

QString buildDir()
{
    return QFileInfo(QStringLiteral(KOLVO_BIN_DIR "/..")).canonicalFilePath();
}

QString script()
{
    return QStringLiteral(KOLVO_SOURCE_DIR "/scripts/install-kolvo");
}

QStringList filesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    return files;
}

class InstallTest : public KolvoHomeTest
{
protected:
    // An environment without the build tree's data: the XDG folders are empty ones of the test.
    QProcessEnvironment cleanEnv() const
    {
        QProcessEnvironment env = kolvoEnvironment(homePath("user"));
        env.insert("XDG_DATA_DIRS", QString::fromStdString(homePath("xdg-empty")));
        env.insert("XDG_DATA_HOME", QString::fromStdString(homePath("xdg-home")));
        env.insert("KOLVO_AUDIO_SINK", "fakesink");
        env.remove("KOLVO_BIN_DIR");
        env.remove("KOLVO_SOURCE_DIR");
        return env;
    }
};

} // namespace

TEST_F(InstallTest, InstalledIntoADestdirKolvoRunsFromThereAndUninstallLeavesNothing)
{
    const QString destdir = QString::fromStdString(homePath("dest"));
    const QString manifest = QString::fromStdString(homePath("manifest.txt"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", destdir);
    env.insert("KOLVO_INSTALL_MANIFEST", manifest);
    // A folder that was there before, empty, as a desktop's icon theme leaves them.
    const QString themeFolder = destdir + "/opt/kolvo-test/share/icons/hicolor/64x64/apps";
    ASSERT_TRUE(QDir().mkpath(themeFolder));
    const ProcessOutput install =
        runProcess(script(), {buildDir(), "/opt/kolvo-test"}, env, 120000);
    ASSERT_EQ(install.code, 0) << install.err.toStdString();
    const QString root = destdir + "/opt/kolvo-test";

    // Everything a desktop and a user need, at the designed places.
    const QStringList files = filesUnder(root);
    for (const char* f :
         {"/bin/kolvo", "/bin/kolvo-cli", "/share/kolvo/uib/GoldEn.uib",
          "/share/kolvo/uib/GoldKr.uib", "/share/kolvo/uib/Nightfall.uib",
          "/share/kolvo/demo/Evening Song.mp3", "/share/kolvo/demo/Morning Arpeggio.wav",
          "/share/applications/kolvo.desktop", "/share/applications/kolvo-cd.desktop",
          "/share/metainfo/org.kolvo.Kolvo.metainfo.xml", "/share/man/man1/kolvo.1.gz",
          "/share/man/man1/kolvo-cli.1.gz", "/share/icons/hicolor/scalable/apps/kolvo.svg"})
        EXPECT_TRUE(files.contains(QString::fromLatin1(f))) << f << " was not installed";
    EXPECT_FALSE(files.contains("/share/kolvo/demo/stamp"));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QImage icon(root +
                          QStringLiteral("/share/icons/hicolor/%1x%1/apps/kolvo.png").arg(size));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
        // Drawn, not empty: the middle of the icon is opaque.
        EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255) << size;
    }
    QFile svg(root + "/share/icons/hicolor/scalable/apps/kolvo.svg");
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    int rects = 0;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QString("rect"))
            ++rects;
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(rects, 7) << "the bezel, the display and five bars";
    // No path of the build tree is kept in what was installed. A debug build's debugging
    // sections name its compile folders, which no lookup uses: programs are read without them.
    const QByteArray build = buildDir().toUtf8();
    const QString bare = destdir + "/bare";
    for (const QString& f : files) {
        QString path = root + f;
        if (f.startsWith(QString("/bin/"))) {
            ASSERT_EQ(runProcess("objcopy", {"--strip-debug", path, bare}).code, 0);
            path = bare;
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains(build)) << f.toStdString() << " names the build tree";
    }
    QFile::remove(bare);

    // The installed kolvo-cli finds the installed skins and plays the installed demo songs.
    const QProcessEnvironment clean = cleanEnv();
    const QString cli = root + "/bin/kolvo-cli";
    // A skin named without a path is looked up beside the installed program.
    const std::pair<QStringList, const char*> cliRuns[] = {
        {{"skin", "info", root + "/share/kolvo/uib/GoldEn.uib"}, "version: 4.0"},
        {{"skin", "sheet", "Nightfall.uib", QString::fromStdString(homePath("sheet.png"))}, ""},
        {{"info", root + "/share/kolvo/demo/Evening Song.mp3"}, "Title : Evening Song"}};
    ProcessOutput r;
    for (const auto& [args, said] : cliRuns) {
        r = runProcess(cli, args, clean);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(said)) << r.out.toStdString();
    }

    // The installed kolvo comes up to its first window and fills its first album from the
    // installed demo songs.
    QProcessEnvironment shown = clean;
    shown.insert("KOLVO_EXIT_WHEN_SHOWN", "1");
    shown.insert("KOLVO_TRACE", "1");
    r = runProcess(root + "/bin/kolvo", {"-nosplash"}, shown);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QString("shown"))) << r.out.toStdString();
    r = runProcess(cli, {"album", "show", "audio", "Default"}, clean);
    EXPECT_TRUE(r.out.contains(root + "/share/kolvo/demo/Evening Song.mp3"))
        << r.out.toStdString() << r.err.toStdString();

    // The desktop's own checkers accept the menu entries and the AppStream file.
    for (const char* entry : {"kolvo.desktop", "kolvo-cd.desktop"}) {
        r = runProcess("desktop-file-validate",
                       {root + QStringLiteral("/share/applications/") + QLatin1String(entry)},
                       clean);
        EXPECT_EQ(r.code, 0) << entry << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(r.out.trimmed(), QString()) << r.out.toStdString();
    }
    // The files entry names every type the associations can make Kolvo the default for, so that
    // file managers offer Kolvo for them too.
    QFile entry(root + "/share/applications/kolvo.desktop");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString entryText = QString::fromUtf8(entry.readAll());
    const auto offered = QRegularExpression("\\nMimeType=([^\\n]*)").match(entryText).captured(1);
    for (int family = 0; family < 3; ++family)
        for (const associations::Extension& e : associations::familyExtensions(family))
            EXPECT_TRUE(offered.split(';').contains(QLatin1String(e.mimeType)))
                << e.extension << " " << e.mimeType;
    r = runProcess("appstreamcli",
                   {"validate", "--no-net", root + "/share/metainfo/org.kolvo.Kolvo.metainfo.xml"},
                   clean);
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();

    // The manual pages say what --help says, line for line.
    for (const char* program : {"kolvo", "kolvo-cli"}) {
        const ProcessOutput help =
            runProcess(root + QStringLiteral("/bin/") + QLatin1String(program), {"--help"}, clean);
        QProcessEnvironment manEnv = clean;
        manEnv.insert("MANWIDTH", "250");
        manEnv.insert("MAN_KEEP_FORMATTING", QString());
        const ProcessOutput page = runProcess(
            "man",
            {"-l", root + QStringLiteral("/share/man/man1/") + QLatin1String(program) + ".1.gz"},
            manEnv);
        ASSERT_EQ(page.code, 0) << page.err.toStdString();
        QString plain = page.out;
        plain.replace(QChar(0x2010), '-').replace(QChar(0x2212), '-');
        int checked = 0;
        for (const QString& line : help.out.split('\n')) {
            // Listed lines keep their spacing in the page; paragraphs are refilled.
            if (!line.startsWith(QLatin1Char(' ')) || line.trimmed().isEmpty())
                continue;
            EXPECT_TRUE(plain.contains(line)) << program << ": \"" << line.toStdString() << "\"";
            ++checked;
        }
        EXPECT_GT(checked, 10) << program;
    }

    // Uninstalling removes what was installed, and folders that were there before stay.
    QDir().mkpath(destdir + "/opt/kolvo-test/share/applications/other");
    ASSERT_TRUE(QFile(destdir + "/opt/kolvo-test/share/applications/other.desktop")
                    .open(QIODevice::WriteOnly));
    r = runProcess(script(), {"--uninstall", manifest}, env);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(filesUnder(root).join(QLatin1Char(' ')), "/share/applications/other.desktop");
    EXPECT_TRUE(QFileInfo(root + "/share/applications/other").isDir());
    EXPECT_FALSE(QFileInfo::exists(root + "/bin"));
    EXPECT_FALSE(QFileInfo::exists(root + "/share/kolvo"));
    EXPECT_TRUE(QFileInfo(themeFolder).isDir()) << "a folder the install did not make was removed";
}

TEST_F(InstallTest, APrefixThatCannotBeWrittenIsSaidBeforeAnythingIsCopied)
{
    const QString locked = QString::fromStdString(homePath("locked"));
    ASSERT_TRUE(QDir().mkpath(locked));
    ::chmod(locked.toLocal8Bit().constData(), 0555);
    QString program = script();
    QStringList args{buildDir(), locked + "/usr"};
    if (runningAsRoot()) {
        // Root writes through any permission: the check is made as nobody.
        args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args;
        program = "setpriv";
        ::chmod(QString::fromStdString(home()).toLocal8Bit().constData(), 0755);
    }
    const ProcessOutput r = runProcess(program, args);
    ::chmod(locked.toLocal8Bit().constData(), 0755);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QString("cannot be written"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString("sudo make install"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(locked + "/usr"));

    const ProcessOutput relative = runProcess(script(), {buildDir(), "usr/local"});
    EXPECT_EQ(relative.code, 1);
    EXPECT_TRUE(relative.err.contains(QString("absolute path"))) << relative.err.toStdString();
}
