// The Debian package `make deb` makes: what it says it needs and what it holds.

#include "support/testhome.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace {

struct Outcome
{
    int exitCode = -1;
    QString out, err;
};

Outcome run(const QString& program, const QStringList& args, const QString& dir = {})
{
    QProcess p;
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program, args);
    Outcome r;
    if (!p.waitForFinished(240000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The package names of a Depends line, alternatives split.
QStringList packageNames(const QString& depends)
{
    QStringList names;
    for (const QString& part : depends.split(QRegularExpression(QStringLiteral("[,|]")))) {
        const QString name = part.trimmed().section(QLatin1Char(' '), 0, 0);
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

class PackageTest : public KolvoHomeTest
{};

} // namespace

TEST_F(PackageTest, TheDebNamesItsLibrariesByShlibdepsAndItsPluginsByHandAndHoldsTheDesktopPieces)
{
    const QString build = QStringLiteral(KOLVO_BIN_DIR "/..");
    const QString out = QString::fromStdString(homePath("deb"));
    const Outcome cpack =
        run(QStringLiteral("cpack"),
            {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out,
             QStringLiteral("--config"), build + QStringLiteral("/CPackConfig.cmake")},
            build);
    ASSERT_EQ(cpack.exitCode, 0) << cpack.out.toStdString() << cpack.err.toStdString();
    const QStringList debs =
        QDir(out).entryList({QStringLiteral("kolvo_" KOLVO_PROJECT_VERSION "_*.deb")}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << cpack.out.toStdString();
    const QString deb = out + QLatin1Char('/') + debs.front();

    const Outcome info = run(QStringLiteral("dpkg-deb"),
                             {QStringLiteral("--field"), deb, QStringLiteral("Depends")});
    ASSERT_EQ(info.exitCode, 0) << info.err.toStdString();
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
    // The libraries the programs open with dlopen, which shlibdeps cannot see: the package and
    // the file name the program opens.
    const std::vector<std::pair<QString, QString>> opened{
        {QStringLiteral("libfluidsynth3"), QStringLiteral("libfluidsynth.so.3")}};
    for (const auto& [package, soname] : opened)
        EXPECT_TRUE(depends.contains(package))
            << package.toStdString() << " (opened at run time) missing from "
            << info.out.toStdString();
    // What is written by hand names no other library: those all come from shlibdeps.
    QFile config(build + QStringLiteral("/CPackConfig.cmake"));
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    const QRegularExpression handListed(
        QStringLiteral("set\\(CPACK_DEBIAN_PACKAGE_DEPENDS \"([^\"]*)\""));
    const auto m = handListed.match(QString::fromUtf8(config.readAll()));
    ASSERT_TRUE(m.hasMatch());
    for (const QString& name : packageNames(m.captured(1)))
        EXPECT_TRUE(!name.startsWith(QLatin1String("lib")) ||
                    std::any_of(opened.begin(), opened.end(),
                                [&](const auto& o) { return o.first == name; }))
            << name.toStdString() << " is a linked library named by hand";
    for (const char* field :
         {"Package", "Version", "Architecture", "Maintainer", "Description", "Section"}) {
        const Outcome f =
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb, QLatin1String(field)});
        EXPECT_FALSE(f.out.trimmed().isEmpty()) << field;
    }

    const Outcome contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb});
    ASSERT_EQ(contents.exitCode, 0);
    for (const char* path :
         {"./usr/bin/kolvo", "./usr/bin/kolvo-cli", "./usr/share/applications/kolvo.desktop",
          "./usr/share/applications/kolvo-cd.desktop",
          "./usr/share/icons/hicolor/16x16/apps/kolvo.png",
          "./usr/share/icons/hicolor/256x256/apps/kolvo.png",
          "./usr/share/icons/hicolor/scalable/apps/kolvo.svg",
          "./usr/share/metainfo/org.kolvo.Kolvo.metainfo.xml", "./usr/share/man/man1/kolvo.1",
          "./usr/share/man/man1/kolvo-cli.1", "./usr/share/kolvo/uib/GoldEn.uib",
          "./usr/share/kolvo/demo/Evening Song.mp3"})
        EXPECT_TRUE(contents.out.contains(QLatin1String(path))) << path << " is not in the package";

    // Unpacked anywhere, its kolvo-cli answers.
    const QString root = QString::fromStdString(homePath("root"));
    ASSERT_EQ(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root}).exitCode, 0);
    // Those opened at run time are opened, not linked, by the packaged program.
    const QString cli = root + QStringLiteral("/usr/bin/kolvo-cli");
    const Outcome dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-d"), cli});
    ASSERT_EQ(dynamic.exitCode, 0) << dynamic.err.toStdString();
    QFile program(cli);
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QByteArray bytes = program.readAll();
    for (const auto& [package, soname] : opened) {
        EXPECT_FALSE(dynamic.out.contains(soname)) << soname.toStdString() << " is linked";
        EXPECT_TRUE(bytes.contains(soname.toUtf8())) << soname.toStdString() << " is not opened";
    }
    const Outcome version = run(cli, {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_TRUE(version.out.startsWith(QLatin1String("kolvo-cli " KOLVO_PROJECT_VERSION)))
        << version.out.toStdString();
}
