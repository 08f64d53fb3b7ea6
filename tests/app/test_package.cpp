// The Debian package `make deb` makes: what it says it needs and what it holds.

#include "support/kolvoprocess.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

ProcessOutput run(const QString& program, const QStringList& args, const QString& dir = {})
{
    return runProcess(program, args, QProcessEnvironment::systemEnvironment(), 240000, dir);
}

// The package names of a Depends line, alternatives split.
QStringList packageNames(const QString& depends)
{
    QStringList names;
    for (const QString& part : depends.split(QRegularExpression("[,|]"))) {
        const QString name = part.trimmed().section(QLatin1Char(' '), 0, 0);
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

using PackageTest = KolvoHomeTest;

} // namespace

TEST_F(PackageTest, TheDebNamesItsLibrariesByShlibdepsAndItsPluginsByHandAndHoldsTheDesktopPieces)
{
    const QString build = QStringLiteral(KOLVO_BIN_DIR "/..");
    const QString out = QString::fromStdString(homePath("deb"));
    const ProcessOutput cpack =
        run("cpack", {"-G", "DEB", "-B", out, "--config", build + "/CPackConfig.cmake"}, build);
    ASSERT_EQ(cpack.code, 0) << cpack.out.toStdString() << cpack.err.toStdString();
    const QStringList debs =
        QDir(out).entryList({QStringLiteral("kolvo_" KOLVO_PROJECT_VERSION "_*.deb")}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << cpack.out.toStdString();
    const QString deb = out + QLatin1Char('/') + debs.front();

    const ProcessOutput info = run("dpkg-deb", {"--field", deb, "Depends"});
    ASSERT_EQ(info.code, 0) << info.err.toStdString();
    const QStringList depends = packageNames(info.out);
    // Found by dpkg-shlibdeps from what the programs link.
    for (const char* lib : {"libc6", "libstdc++6", "libqt6core6", "libqt6widgets6", "libqt6dbus6",
                            "libgstreamer1.0-0", "libcdio19", "libpulse0"})
        EXPECT_TRUE(depends.contains(QLatin1String(lib)))
            << lib << " missing from " << info.out.toStdString();
    // Loaded at run time, so named by hand.
    for (const char* plugin :
         {"gstreamer1.0-plugins-base", "gstreamer1.0-plugins-good", "gstreamer1.0-plugins-bad",
          "gstreamer1.0-plugins-ugly", "gstreamer1.0-libav", "gstreamer1.0-pulseaudio",
          "timgm6mb-soundfont"})
        EXPECT_TRUE(depends.contains(QLatin1String(plugin))) << plugin;
    // The library the programs open with dlopen, which shlibdeps cannot see: its package and the
    // file name the program opens.
    const QString openedPackage = "libfluidsynth3", openedName = "libfluidsynth.so.3";
    EXPECT_TRUE(depends.contains(openedPackage)) << info.out.toStdString();
    // What is written by hand names no other library: those all come from shlibdeps.
    QFile config(build + "/CPackConfig.cmake");
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    const QRegularExpression handListed("set\\(CPACK_DEBIAN_PACKAGE_DEPENDS \"([^\"]*)\"");
    const auto m = handListed.match(QString::fromUtf8(config.readAll()));
    ASSERT_TRUE(m.hasMatch());
    for (const QString& name : packageNames(m.captured(1)))
        EXPECT_TRUE(!name.startsWith("lib") || name == openedPackage)
            << name.toStdString() << " is a linked library named by hand";
    for (const char* field :
         {"Package", "Version", "Architecture", "Maintainer", "Description", "Section"}) {
        const ProcessOutput f = run("dpkg-deb", {"--field", deb, QLatin1String(field)});
        EXPECT_FALSE(f.out.trimmed().isEmpty()) << field;
    }

    const ProcessOutput contents = run("dpkg-deb", {"--contents", deb});
    ASSERT_EQ(contents.code, 0);
    for (const char* path :
         {"./usr/bin/kolvo", "./usr/bin/kolvo-cli", "./usr/share/applications/kolvo.desktop",
          "./usr/share/applications/kolvo-cd.desktop",
          "./usr/share/icons/hicolor/16x16/apps/kolvo.png",
          "./usr/share/icons/hicolor/256x256/apps/kolvo.png",
          "./usr/share/icons/hicolor/scalable/apps/kolvo.svg",
          "./usr/share/metainfo/org.kolvo.Kolvo.metainfo.xml", "./usr/share/man/man1/kolvo.1.gz",
          "./usr/share/man/man1/kolvo-cli.1.gz", "./usr/share/kolvo/uib/GoldEn.uib",
          "./usr/share/kolvo/demo/Evening Song.mp3"})
        EXPECT_TRUE(contents.out.contains(QLatin1String(path))) << path << " is not in the package";

    // Unpacked anywhere, its kolvo-cli answers.
    const QString root = QString::fromStdString(homePath("root"));
    ASSERT_EQ(run("dpkg-deb", {"-x", deb, root}).code, 0);
    // The library opened at run time is opened, not linked, by the packaged program.
    const QString cli = root + "/usr/bin/kolvo-cli";
    const ProcessOutput dynamic = run("readelf", {"-d", cli});
    ASSERT_EQ(dynamic.code, 0) << dynamic.err.toStdString();
    QFile program(cli);
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QByteArray bytes = program.readAll();
    EXPECT_FALSE(dynamic.out.contains(openedName)) << "linked, not opened";
    EXPECT_TRUE(bytes.contains(openedName.toUtf8())) << "not opened";
    const ProcessOutput version = run(cli, {"--version"});
    EXPECT_EQ(version.code, 0) << version.err.toStdString();
    EXPECT_TRUE(version.out.startsWith(QLatin1String("kolvo-cli " KOLVO_PROJECT_VERSION)))
        << version.out.toStdString();
}
