// The server list in the profile and the dialog that edits it.
#include "cddbtesting.h"

#include "cddb/cddbprotocol.h"
#include "cddb/serverdialog.h"
#include "cddb/serverlist.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>

namespace {

std::string stored(const std::string& name)
{
    const Profile profile;
    return profile.GetProfileString(kCddbServerSection, name, "<none>");
}

// The dialog's list on one line: "*" before the entry with the current icon ("?" for an icon
// that is neither), brackets around the selected one, and the current server.
std::string view(const CddbServerDialog& d)
{
    std::string text;
    const auto entries = d.entries();
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const int icon = d.stateIconOf(i);
        const std::string e = (icon == CddbServerDialog::CurrentIcon ? "*"
                               : icon == CddbServerDialog::OtherIcon ? ""
                                                                     : "?") +
                              entries[i];
        text += (i == d.selectedRow() ? "[" + e + "]" : e) + " ";
    }
    return text + "= " + d.currentServer();
}

// The view of the default list with entry `current` current.
std::string defaultsView(int current)
{
    std::string text;
    for (int i = 0; i < static_cast<int>(DefaultCddbServers().size()); ++i)
        text +=
            (i == current ? "[*" + DefaultCddbServers()[i] + "]" : DefaultCddbServers()[i]) + " ";
    return text + "= " + DefaultCddbServers()[current];
}

void pressKey(QWidget* widget, Qt::Key key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

using ServerList = CddbTest;

} // namespace

TEST(ServerDefaults, KindsOrderAndPaths)
{
    const auto& servers = DefaultCddbServers();
    ASSERT_EQ(servers.size(), 25u);
    EXPECT_EQ(servers.front(), "gnudb.gnudb.org:8880");
    int tilde = 0, cgiBin = 0;
    for (size_t i = 0; i < servers.size(); ++i) {
        const CddbServerAddress a = ParseCddbServer(servers[i], 888);
        EXPECT_TRUE(a.valid && a.http == (i >= 14)) << servers[i];
        const QString s = QString::fromStdString(servers[i]);
        tilde += a.http && s.endsWith("/~cddb/cddb.cgi");
        cgiBin += a.http && s.endsWith("/cgi-bin/cddb.cgi");
    }
    EXPECT_EQ(tilde, 10);
    EXPECT_EQ(cgiBin, 1);
}

TEST_F(ServerList, TheCurrentServerDefaultsToTheFirstAndIsStored)
{
    EXPECT_EQ(stored("Recent"), "<none>");
    EXPECT_EQ(CurrentCddbServer(), "gnudb.gnudb.org:8880");
    EXPECT_EQ(stored("Recent"), "gnudb.gnudb.org:8880");
    SetCurrentCddbServer("http://mine.example/~cddb/cddb.cgi");
    EXPECT_EQ(CurrentCddbServer(), "http://mine.example/~cddb/cddb.cgi");
}

TEST_F(ServerList, AFirstStartShowsTheDefaultsWithTheFirstCurrent)
{
    CddbServerDialog dialog;
    EXPECT_EQ(view(dialog), defaultsView(0));
    EXPECT_EQ(dialog.list()->headerItem()->text(0), "URL");
    // The defaults were saved at once.
    EXPECT_EQ(stored("1"), "gnudb.gnudb.org:8880");
    EXPECT_EQ(stored("25"), DefaultCddbServers().back());
    EXPECT_EQ(stored("26"), "<none>");

    // Selecting another entry moves the icon and makes it current; Cancel keeps it too.
    dialog.selectRow(3);
    EXPECT_EQ(view(dialog), defaultsView(3));
    dialog.reject();
    EXPECT_EQ(stored("Recent"), DefaultCddbServers()[3]);
}

TEST_F(ServerList, RemovingStopsAtTheLastEntry)
{
    SaveCddbServerList({"a", "b", "c"}, "b");
    CddbServerDialog dialog;
    dialog.runCommand(CddbServerDialog::RemoveCommand);
    EXPECT_EQ(view(dialog), "a [*c] = c") << "the entry now at its position";
    // The Delete key does the same; the last entry removed selects the new last.
    pressKey(dialog.list(), Qt::Key_Delete);
    EXPECT_EQ(view(dialog), "[*a] = a");
    EXPECT_TRUE(messages.empty());

    dialog.runCommand(CddbServerDialog::RemoveCommand);
    EXPECT_EQ(view(dialog), "[*a] = a");
    EXPECT_EQ(captions, std::vector<std::string>{LoadString(2032)});
    EXPECT_EQ(messages, std::vector<std::string>{LoadString(2077)});
    dialog.accept();
    EXPECT_EQ(stored("1") + " " + stored("2"), "a <none>");
}

TEST_F(ServerList, RestoreReplacesALongerList)
{
    std::vector<std::string> many;
    for (int i = 0; i < 30; ++i)
        many.push_back("host" + std::to_string(i) + ".example");
    SaveCddbServerList(many, "host7.example");
    CddbServerDialog dialog;
    EXPECT_EQ(dialog.entries().size(), 30u);
    dialog.runCommand(CddbServerDialog::RestoreCommand);
    EXPECT_EQ(view(dialog), defaultsView(0));
    // Saved at once: "1".."25" are the defaults, nothing of the longer list is left.
    EXPECT_EQ(LoadCddbServerList(), DefaultCddbServers());
    EXPECT_EQ(stored("26") + " " + stored("30"), "<none> <none>");
    EXPECT_EQ(stored("Recent"), DefaultCddbServers().front());
}

TEST_F(ServerList, AddPropertiesAndInPlaceEditing)
{
    SaveCddbServerList({"a", "b"}, "a");
    CddbServerDialog dialog;
    EXPECT_EQ(dialog.action(CddbServerDialog::AddCommand)->toolTip(), LoadQString(32856));
    const std::string added = "http://new.example/~cddb/cddb.cgi";
    onNextDialog<CddbAddressDialog>([&added](CddbAddressDialog* d) {
        d->edit()->setText(QString::fromStdString(added));
        d->accept();
    });
    dialog.runCommand(CddbServerDialog::AddCommand);
    EXPECT_EQ(view(dialog), "a b [*" + added + "] = " + added);

    // An empty address is refused and the dialog stays; Cancel then adds nothing.
    onNextDialog<CddbAddressDialog>([this](CddbAddressDialog* d) {
        d->accept();
        EXPECT_EQ(messages.size(), 1u);
        EXPECT_TRUE(d->isVisible());
        d->reject();
    });
    dialog.runCommand(CddbServerDialog::AddCommand);
    EXPECT_EQ(dialog.entries().size(), 3u);
    messages.clear();

    dialog.selectRow(1);
    std::string prefilled;
    onNextDialog<CddbAddressDialog>([&prefilled](CddbAddressDialog* d) {
        prefilled = d->edit()->text().toStdString();
        d->edit()->setText("b.example:8880");
        d->accept();
    });
    dialog.runCommand(CddbServerDialog::PropertiesCommand);
    EXPECT_EQ(prefilled, "b");
    EXPECT_EQ(view(dialog), "a [*b.example:8880] " + added + " = b.example:8880");

    // In place: an empty text is refused with its message and the old text comes back.
    QTreeWidgetItem* item = dialog.list()->topLevelItem(0);
    item->setText(0, "");
    EXPECT_EQ(messages, std::vector<std::string>{LoadString(1045)});
    EXPECT_EQ(item->text(0), "a");
    item->setText(0, "a.example");

    dialog.accept();
    EXPECT_EQ(LoadCddbServerList(),
              (std::vector<std::string>{"a.example", "b.example:8880", added}));
    EXPECT_EQ(stored("Recent"), "b.example:8880");
}

TEST_F(ServerList, RemoveAndPropertiesNeedASelectedEntry)
{
    SaveCddbServerList({"a", "b"}, "a");
    CddbServerDialog dialog;
    // Which of remove, properties, add and restore are enabled.
    const auto enabled = [&dialog] {
        std::string text;
        for (const auto command :
             {CddbServerDialog::RemoveCommand, CddbServerDialog::PropertiesCommand,
              CddbServerDialog::AddCommand, CddbServerDialog::RestoreCommand})
            text += dialog.action(command)->isEnabled() ? "1" : "0";
        return text;
    };
    EXPECT_EQ(enabled(), "1111");
    dialog.list()->clearSelection();
    EXPECT_EQ(dialog.selectedRow(), -1);
    EXPECT_EQ(enabled(), "0011");

    // Run anyway (the Delete key reaches the list whatever the toolbar shows): nothing happens.
    bool asked = false;
    QTimer::singleShot(50, &dialog, [&asked] {
        if (auto* d = qobject_cast<CddbAddressDialog*>(QApplication::activeModalWidget())) {
            asked = true;
            d->reject();
        }
    });
    dialog.runCommand(CddbServerDialog::PropertiesCommand);
    pressKey(dialog.list(), Qt::Key_Delete);
    EXPECT_FALSE(asked);
    EXPECT_EQ(dialog.entries(), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(messages.empty());

    dialog.selectRow(1);
    EXPECT_EQ(enabled(), "1111");
}

TEST_F(ServerList, RunningTheDialogStoresTheCurrentServerHoweverItCloses)
{
    const std::vector<std::pair<std::string, std::function<void(CddbServerDialog*)>>> closings = {
        {"ok", [](CddbServerDialog* d) { d->accept(); }},
        {"cancel", [](CddbServerDialog* d) { d->reject(); }},
        {"escape", [](CddbServerDialog* d) { pressKey(d, Qt::Key_Escape); }},
        {"window closed", [](CddbServerDialog* d) { d->close(); }},
    };
    SaveCddbServerList({"a", "b"}, "a");
    int n = 0;
    for (const auto& [how, close] : closings) {
        const std::string typed = "typed" + std::to_string(++n) + ".example:8880";
        onNextDialog<CddbServerDialog>([&typed, close = close](CddbServerDialog* d) {
            d->currentEdit()->setText(QString::fromStdString(typed));
            close(d);
        });
        RunCddbServerDialog(nullptr);
        EXPECT_EQ(stored("Recent") + " " + CurrentCddbServer(), typed + " " + typed) << how;
    }
    // Each typed server joined the list when the dialog next opened, the last one now, and is
    // selected as the current one.
    EXPECT_EQ(stored("6"), "<none>");
    EXPECT_EQ(view(CddbServerDialog()), "a b typed1.example:8880 typed2.example:8880 "
                                        "typed3.example:8880 [*typed4.example:8880] = "
                                        "typed4.example:8880");
}
