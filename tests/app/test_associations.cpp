// Kolvo as the desktop's player for files and audio CDs: the user's mimeapps.list changed and
// given back, the designed messages, and the list's bad days (read-only, malformed, no folder).

#include "app/associationdialog.h"
#include "app/configsheet.h"
#include "platform/associations.h"
#include "platform/msgbox.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "support/kolvoprocess.h"
#include "support/testhome.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>

namespace {

class AssociationTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        Profile::SetRegistryKey("Quorvane System, Inc.");
        m_config = homePath("xdg-config");
        m_data = homePath("xdg-data");
        setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
        setenv("XDG_DATA_HOME", m_data.c_str(), 1);
        // No system folders: Kolvo's desktop entry is not installed anywhere the desktop looks.
        setenv("XDG_DATA_DIRS", homePath("xdg-none").c_str(), 1);
        setMessageBoxHook(
            [this](const QString&, const QString& text, MessageIcon icon, MessageButtons) {
                m_shown.push_back({text.toStdString(), icon});
                return IDOK;
            });
    }
    void TearDown() override
    {
        setMessageBoxHook({});
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DATA_HOME");
        unsetenv("XDG_DATA_DIRS");
        KolvoHomeTest::TearDown();
    }

    std::string listPath() const { return m_config + "/mimeapps.list"; }
    void writeList(const std::string& text) const { writeFile("xdg-config/mimeapps.list", text); }
    std::string list() const { return readFile(listPath()); }

    // The XDG folders set up above, and no desktop that would read a list of its own.
    QProcessEnvironment xdgEnv() const
    {
        QProcessEnvironment env = kolvoEnvironment(home());
        for (const char* de : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                               "GNOME_DESKTOP_SESSION_ID"})
            env.remove(QLatin1String(de));
        return env;
    }

    std::string m_config, m_data;
    std::vector<std::pair<std::string, MessageIcon>> m_shown;
};

const std::string kUsersList = "# my choices\r\n"
                               "[Added Associations]\r\n"
                               "audio/mpeg=vlc.desktop;mpv.desktop;\r\n"
                               "\r\n"
                               "[Default Applications]\r\n"
                               "audio/mpeg = vlc.desktop\r\n"
                               "text/plain=org.gnome.TextEditor.desktop;\r\n"
                               "\r\n"
                               "[Removed Associations]\r\n"
                               "audio/x-wav=totem.desktop;";

} // namespace

TEST_F(AssociationTest, RegisterTwiceThenRestoreOnceGivesBackTheListByteForByte)
{
    // A list of the user's with CR LF line ends, other groups and no final newline; one without
    // a [Default Applications] group; and no list at all.
    for (const std::string& original :
         {kUsersList, std::string("[Added Associations]\naudio/mpeg=vlc.desktop;\n"),
          std::string()}) {
        SCOPED_TRACE(original);
        if (original.empty())
            QFile::remove(QString::fromStdString(listPath()));
        else
            writeList(original);
        ASSERT_TRUE(associations::Apply(0, {".mp3", ".wav", ".pls"}, {}).ok);
        ASSERT_TRUE(associations::RegisterCdPlayer().ok);
        const std::string once = list();
        EXPECT_NE(once.find("audio/mpeg=kolvo.desktop;"), std::string::npos) << once;
        EXPECT_NE(once.find("audio/x-wav=kolvo.desktop;"), std::string::npos);
        EXPECT_NE(once.find("x-content/audio-cdda=kolvo-cd.desktop;"), std::string::npos);
        EXPECT_NE(once.find("x-scheme-handler/cdda=kolvo-cd.desktop;"), std::string::npos);
        ASSERT_TRUE(associations::Apply(0, {".mp3", ".mpa", ".wav", ".pls"}, {}).ok);
        ASSERT_TRUE(associations::RegisterCdPlayer().ok);
        ASSERT_TRUE(associations::Apply(0, {}, {".mp3", ".wav", ".pls"}).ok);
        ASSERT_TRUE(associations::RestoreCdPlayer().ok);
        if (original.empty())
            EXPECT_FALSE(QFile::exists(QString::fromStdString(listPath()))) << list();
        else
            EXPECT_EQ(list(), original);
        // Nothing of Kolvo's backups is left behind to spoil a later registration.
        EXPECT_EQ(
            readFile(homePath("config/Quorvane System, Inc./Registry.conf")).find("Kolvo.BAK"),
            std::string::npos);
    }
}

TEST_F(AssociationTest, OnlyTheRegisteredTypesChangeAndAChoiceMadeInBetweenIsNotLost)
{
    writeList(kUsersList);
    ASSERT_TRUE(associations::Apply(0, {".mp3"}, {}).ok);
    // Changing only the line of the type: the rest is as it was.
    std::string expected = kUsersList;
    expected.replace(expected.find("audio/mpeg = vlc.desktop"), 24, "audio/mpeg=kolvo.desktop;");
    EXPECT_EQ(list(), expected);
    // Restoring an extension Kolvo never registered changes nothing.
    ASSERT_TRUE(associations::Apply(0, {}, {".au"}).ok);
    EXPECT_EQ(list(), expected);
    // The user's text editor choice, changed after the registration, survives the restore.
    std::string changed = list();
    changed.replace(changed.find("org.gnome.TextEditor.desktop;"), 29, "vim.desktop;");
    writeList(changed);
    ASSERT_TRUE(associations::Apply(0, {}, {".mp3"}).ok);
    std::string back = kUsersList;
    back.replace(back.find("org.gnome.TextEditor.desktop;"), 29, "vim.desktop;");
    EXPECT_EQ(list(), back);
}

TEST_F(AssociationTest, TheDesignedMessagesAndTheDialog)
{
    using associations::Apply;
    EXPECT_EQ(Apply(0, {}, {}).message, "There is no file extensions to modify.");
    EXPECT_EQ(Apply(0, {".wav"}, {".au"}).message,
              "Kolvo was registered for the following file extensions.\n.wav\n"
              "File association was restored for the following file extensions.\n.au");
    EXPECT_EQ(associations::RegisterCdPlayer().message,
              "From now, default Audio CD player is Kolvo.");
    EXPECT_EQ(associations::RestoreCdPlayer().message,
              "Default Audio CD player setting is restored.");

    // The families: at most 20 rows each, ".m3u" in all three. (Each player's page opens its own.)
    for (int family = 0; family < 3; ++family) {
        const auto& rows = associations::familyExtensions(family);
        EXPECT_LE(rows.size(), 20u);
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(),
                                [](const auto& e) { return std::string(e.extension) == ".m3u"; }));
    }
    EXPECT_EQ(CFileAssociationDialog(2).family(), 0) << "the CD Player's is the audio family";

    CFileAssociationDialog dialog(3);
    QListWidget* rows = dialog.list();
    ASSERT_EQ(rows->count(), 12);
    for (int i = 0; i < rows->count(); ++i)
        EXPECT_EQ(rows->item(i)->checkState(), Qt::PartiallyChecked);
    m_shown.clear();
    dialog.findChild<QPushButton*>("control1227")->click();
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].first, "There is no file extensions to modify.");
    rows->item(0)->setCheckState(Qt::Checked);   // .wav
    rows->item(3)->setCheckState(Qt::Checked);   // .mp3
    rows->item(7)->setCheckState(Qt::Unchecked); // .au
    dialog.OnApply();
    ASSERT_EQ(m_shown.size(), 2u);
    EXPECT_EQ(m_shown[1].first,
              "Kolvo was registered for the following file extensions.\n.wav, .mp3\n"
              "File association was restored for the following file extensions.\n.au");
    EXPECT_EQ(m_shown[1].second, MessageIcon::Information);

    // Kolvo's desktop entries, not installed where the desktop looks, were made for the user.
    const std::string entry = readFile(m_data + "/applications/kolvo.desktop");
    EXPECT_NE(entry.find("MimeType="), std::string::npos);
    EXPECT_NE(entry.find("audio/mpeg;"), std::string::npos);
    EXPECT_NE(readFile(m_data + "/applications/kolvo-cd.desktop").find("/playcd"),
              std::string::npos);
}

TEST_F(AssociationTest, AMalformedListOrOneThatCannotBeWrittenIsLeftAloneWithAClearMessage)
{
    const auto failsSaying = [](const associations::Outcome& out, const std::string& part) {
        EXPECT_FALSE(out.ok);
        EXPECT_NE(out.message.find(part), std::string::npos) << out.message;
    };
    const std::string broken =
        "[Default Applications]\naudio/mpeg=vlc.desktop\nthis is not an entry\n";
    writeList(broken);
    auto out = associations::Apply(0, {".mp3"}, {});
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.message, "The file associations were not changed: " + listPath() +
                               " is not a list of default applications (line 3: \"this is not an "
                               "entry\" is neither a group, an entry nor a comment).");
    EXPECT_EQ(list(), broken);
    writeList(std::string("[Default Applications]\naudio/mpeg=\xff\xfe\n"));
    failsSaying(associations::RegisterCdPlayer(), "line 2: not UTF-8 text");

    // A folder where the list should be.
    QFile::remove(QString::fromStdString(listPath()));
    QDir().mkpath(QString::fromStdString(listPath()));
    failsSaying(associations::Apply(0, {".mp3"}, {}), "cannot be read: it is a folder");
    QDir(QString::fromStdString(listPath())).removeRecursively();

    // A configuration folder nobody can write in, not even root.
    setenv("XDG_CONFIG_HOME", "/proc/self", 1);
    failsSaying(associations::Apply(0, {".mp3"}, {}), "/proc/self/mimeapps.list cannot be written");
    setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
    EXPECT_EQ(readFile(homePath("config/Quorvane System, Inc./Registry.conf")).find("Kolvo.BAK"),
              std::string::npos)
        << "no backup is kept of a change that was not made";

    // The folder for Kolvo's desktop entry cannot be made (a file stands in its way).
    writeFile("blocked", "x");
    setenv("XDG_DATA_HOME", homePath("blocked").c_str(), 1);
    writeList(kUsersList);
    out = associations::Apply(0, {".mp3"}, {});
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.message, "The file associations were not changed: the folder " +
                               homePath("blocked") +
                               "/applications for Kolvo's desktop entry cannot be made.");
    EXPECT_EQ(list(), kUsersList);
    // A missing applications folder is simply made.
    setenv("XDG_DATA_HOME", (m_data + "/new/deeper").c_str(), 1);
    EXPECT_TRUE(associations::Apply(0, {".mp3"}, {}).ok);
    EXPECT_TRUE(
        QFile::exists(QString::fromStdString(m_data + "/new/deeper/applications/kolvo.desktop")));
}

TEST_F(AssociationTest, AReadOnlyListStaysAsItIsForAUserWhoCannotWriteIt)
{
    // Permissions hold for the user only: as root the check is made as nobody.
    writeList(kUsersList);
    ::chmod(listPath().c_str(), 0444);
    ::chmod(m_config.c_str(), 0777);
    for (const std::string& dir :
         {home(), homePath("config"), homePath("config/Quorvane System, Inc."), m_data}) {
        QDir().mkpath(QString::fromStdString(dir));
        ::chmod(dir.c_str(), 0777);
    }
    QString program = QString::fromStdString(builtProgram("kolvo-cli"));
    QStringList args{"associate", "audio", "--register", ".mp3"};
    runAsPlainUser(program, args);
    const ProcessOutput r = runProcess(program, args, xdgEnv(), 30000);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.trimmed().toStdString(),
              "kolvo-cli: The file associations were not changed: " + listPath() +
                  " cannot be written: it is read-only.");
    EXPECT_EQ(list(), kUsersList);
    ::chmod(listPath().c_str(), 0644);
}

TEST_F(AssociationTest, XdgMimeNamesKolvoAfterRegisteringAndTheFormerPlayerAfterRestoring)
{
    writeList("[Default Applications]\naudio/mpeg=mpv.desktop;\n");
    writeFile("xdg-data/applications/mpv.desktop",
              "[Desktop Entry]\nType=Application\nName=mpv\nExec=true %U\nMimeType=audio/mpeg;\n");
    auto query = [this](const char* type) {
        return runProcess("xdg-mime", {"query", "default", type}, xdgEnv(), 30000)
            .out.trimmed()
            .toStdString();
    };
    EXPECT_EQ(query("audio/mpeg"), "mpv.desktop");
    auto cli = [this](const QStringList& args) {
        return runProcess(QString::fromStdString(builtProgram("kolvo-cli")),
                          QStringList{"associate"} + args, xdgEnv(), 30000)
            .code;
    };
    ASSERT_EQ(cli({"audio", "--register", ".mp3"}), 0);
    EXPECT_EQ(query("audio/mpeg"), "kolvo.desktop");
    ASSERT_EQ(cli({"cd", "register"}), 0);
    EXPECT_EQ(query("x-scheme-handler/cdda"), "kolvo-cd.desktop");
    ASSERT_EQ(cli({"audio", "--restore", ".mp3"}), 0);
    ASSERT_EQ(cli({"cd", "restore"}), 0);
    EXPECT_EQ(query("audio/mpeg"), "mpv.desktop");
    EXPECT_EQ(list(), "[Default Applications]\naudio/mpeg=mpv.desktop;\n");
}

// The preferences reach all of it: the CD page's two buttons change the desktop's CD player at
// once, and each player's page opens the dialog of its own family.
TEST_F(AssociationTest, ThePreferencesPagesOpenTheDialogAndChangeTheCdPlayer)
{
    AppSettings settings;
    CConfigPropertySheet sheet(settings);
    const QList<QPushButton*> openers = sheet.findChildren<QPushButton*>("control1225");
    ASSERT_EQ(openers.size(), 3) << "the audio, MIDI and video pages";
    std::vector<int> families;
    for (QPushButton* opener : openers) {
        QTimer::singleShot(0, [&families] {
            auto* dialog = qobject_cast<CFileAssociationDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            families.push_back(dialog->family());
            dialog->reject();
        });
        opener->click();
    }
    std::sort(families.begin(), families.end());
    EXPECT_EQ(families, (std::vector<int>{0, 1, 2}));

    m_shown.clear();
    sheet.findChild<QPushButton*>("control1118")->click();
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].first, "From now, default Audio CD player is Kolvo.");
    EXPECT_NE(list().find("x-content/audio-cdda=kolvo-cd.desktop"), std::string::npos) << list();
    sheet.findChild<QPushButton*>("control1135")->click();
    ASSERT_EQ(m_shown.size(), 2u);
    EXPECT_EQ(m_shown[1].first, "Default Audio CD player setting is restored.");
    EXPECT_EQ(list().find("kolvo-cd.desktop"), std::string::npos) << list();
}
