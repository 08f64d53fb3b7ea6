// The server list in the profile and the dialog that edits it.
#include "cddbtesting.h"

#include "cddb/cddbprotocol.h"
#include "cddb/serverdialog.h"
#include "cddb/serverlist.h"
#include "platform/msgbox.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "support/testhome.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace {

std::string stored(const std::string& name)
{
    const Profile profile;
    return profile.GetProfileString(kCddbServerSection, name, "<none>");
}

class ServerList : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        setMessageBoxHook(
            [this](const QString& caption, const QString& text, MessageIcon, MessageButtons) {
                messages.push_back({caption.toStdString(), text.toStdString()});
                return IDOK;
            });
    }
    void TearDown() override
    {
        setMessageBoxHook({});
        KolvoHomeTest::TearDown();
    }
    std::vector<std::pair<std::string, std::string>> messages;
};

} // namespace

TEST(ServerDefaults, KindsOrderAndPaths)
{
    const auto& servers = DefaultCddbServers();
    ASSERT_EQ(servers.size(), 25u);
    EXPECT_EQ(servers.front(), "gnudb.gnudb.org:8880");
    int tilde = 0, cgiBin = 0;
    for (size_t i = 0; i < servers.size(); ++i) {
        const CddbServerAddress a = ParseCddbServer(servers[i], 888);
        ASSERT_TRUE(a.valid) << servers[i];
        EXPECT_EQ(a.http, i >= 14) << servers[i];
        if (!a.http)
            continue;
        const std::string& s = servers[i];
        tilde += s.size() > 15 && s.compare(s.size() - 15, 15, "/~cddb/cddb.cgi") == 0;
        cgiBin += s.size() > 17 && s.compare(s.size() - 17, 17, "/cgi-bin/cddb.cgi") == 0;
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
    EXPECT_EQ(dialog.entries(), DefaultCddbServers());
    EXPECT_EQ(dialog.selectedRow(), 0);
    EXPECT_EQ(dialog.currentServer(), "gnudb.gnudb.org:8880");
    EXPECT_EQ(dialog.stateIconOf(0), CddbServerDialog::CurrentIcon);
    for (int row = 1; row < 25; ++row)
        ASSERT_EQ(dialog.stateIconOf(row), CddbServerDialog::OtherIcon) << row;
    EXPECT_EQ(dialog.list()->headerItem()->text(0), "URL");
    // The defaults were saved at once.
    EXPECT_EQ(stored("1"), "gnudb.gnudb.org:8880");
    EXPECT_EQ(stored("25"), DefaultCddbServers().back());
    EXPECT_EQ(stored("26"), "<none>");

    // Selecting another entry moves the icon and makes it current.
    dialog.selectRow(3);
    EXPECT_EQ(dialog.stateIconOf(0), CddbServerDialog::OtherIcon);
    EXPECT_EQ(dialog.stateIconOf(3), CddbServerDialog::CurrentIcon);
    EXPECT_EQ(dialog.currentServer(), DefaultCddbServers()[3]);
    // Cancel keeps it too.
    dialog.reject();
    EXPECT_EQ(stored("Recent"), DefaultCddbServers()[3]);
}

TEST_F(ServerList, ATypedServerJoinsTheListNextTime)
{
    SaveCddbServerList({"one.example", "two.example"}, "two.example");
    {
        CddbServerDialog dialog;
        EXPECT_EQ(dialog.selectedRow(), 1);
        dialog.currentEdit()->setText("typed.example:8880");
        dialog.accept();
    }
    EXPECT_EQ(stored("Recent"), "typed.example:8880");
    EXPECT_EQ(stored("3"), "<none>");
    CddbServerDialog dialog;
    EXPECT_EQ(dialog.entries(),
              (std::vector<std::string>{"one.example", "two.example", "typed.example:8880"}));
    EXPECT_EQ(dialog.selectedRow(), 2);
    EXPECT_EQ(dialog.stateIconOf(2), CddbServerDialog::CurrentIcon);
}

TEST_F(ServerList, RemovingStopsAtTheLastEntry)
{
    SaveCddbServerList({"a", "b", "c"}, "b");
    CddbServerDialog dialog;
    dialog.runCommand(CddbServerDialog::RemoveCommand);
    EXPECT_EQ(dialog.entries(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(dialog.selectedRow(), 1) << "the entry now at its position";
    EXPECT_EQ(dialog.currentServer(), "c");
    EXPECT_EQ(dialog.stateIconOf(1), CddbServerDialog::CurrentIcon);

    // The Delete key does the same; the last entry removed selects the new last.
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(dialog.list(), &del);
    EXPECT_EQ(dialog.entries(), std::vector<std::string>{"a"});
    EXPECT_EQ(dialog.selectedRow(), 0);
    EXPECT_EQ(dialog.currentServer(), "a");
    EXPECT_TRUE(messages.empty());

    dialog.runCommand(CddbServerDialog::RemoveCommand);
    EXPECT_EQ(dialog.entries(), std::vector<std::string>{"a"});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, LoadString(2032));
    EXPECT_EQ(messages[0].second, LoadString(2077));
    dialog.accept();
    EXPECT_EQ(stored("1"), "a");
    EXPECT_EQ(stored("2"), "<none>");
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
    EXPECT_EQ(dialog.entries(), DefaultCddbServers());
    EXPECT_EQ(dialog.selectedRow(), 0);
    EXPECT_EQ(dialog.currentServer(), DefaultCddbServers().front());
    // Saved at once: "1".."25" are the defaults, nothing of the longer list is left.
    EXPECT_EQ(LoadCddbServerList(), DefaultCddbServers());
    EXPECT_EQ(stored("26"), "<none>");
    EXPECT_EQ(stored("30"), "<none>");
    EXPECT_EQ(stored("Recent"), DefaultCddbServers().front());
}

TEST_F(ServerList, AddPropertiesAndInPlaceEditing)
{
    SaveCddbServerList({"a", "b"}, "a");
    CddbServerDialog dialog;
    EXPECT_TRUE(dialog.action(CddbServerDialog::RemoveCommand)->isEnabled());
    EXPECT_EQ(dialog.action(CddbServerDialog::AddCommand)->toolTip(), LoadQString(32856));

    onNextDialog<CddbAddressDialog>([](CddbAddressDialog* d) {
        d->edit()->setText("http://new.example/~cddb/cddb.cgi");
        d->accept();
    });
    dialog.runCommand(CddbServerDialog::AddCommand);
    EXPECT_EQ(dialog.entries(),
              (std::vector<std::string>{"a", "b", "http://new.example/~cddb/cddb.cgi"}));
    EXPECT_EQ(dialog.selectedRow(), 2);
    EXPECT_EQ(dialog.currentServer(), "http://new.example/~cddb/cddb.cgi");

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
    EXPECT_EQ(dialog.entries()[1], "b.example:8880");
    EXPECT_EQ(dialog.currentServer(), "b.example:8880");

    // In place: an empty text is refused with its message and the old text comes back.
    QTreeWidgetItem* item = dialog.list()->topLevelItem(0);
    item->setText(0, "");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, LoadString(1045));
    EXPECT_EQ(item->text(0), "a");
    item->setText(0, "a.example");
    EXPECT_EQ(dialog.entries()[0], "a.example");

    dialog.accept();
    EXPECT_EQ(LoadCddbServerList(),
              (std::vector<std::string>{"a.example", "b.example:8880",
                                        "http://new.example/~cddb/cddb.cgi"}));
    EXPECT_EQ(stored("Recent"), "b.example:8880");
}

TEST_F(ServerList, RemoveAndPropertiesNeedASelectedEntry)
{
    SaveCddbServerList({"a", "b"}, "a");
    CddbServerDialog dialog;
    QAction* remove = dialog.action(CddbServerDialog::RemoveCommand);
    QAction* properties = dialog.action(CddbServerDialog::PropertiesCommand);
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_TRUE(properties->isEnabled());

    dialog.list()->clearSelection();
    EXPECT_EQ(dialog.selectedRow(), -1);
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_FALSE(properties->isEnabled());
    EXPECT_TRUE(dialog.action(CddbServerDialog::AddCommand)->isEnabled());
    EXPECT_TRUE(dialog.action(CddbServerDialog::RestoreCommand)->isEnabled());

    // Run anyway (the Delete key reaches the list whatever the toolbar shows): nothing happens.
    bool asked = false;
    QTimer::singleShot(50, &dialog, [&asked] {
        if (auto* d = qobject_cast<CddbAddressDialog*>(QApplication::activeModalWidget())) {
            asked = true;
            d->reject();
        }
    });
    dialog.runCommand(CddbServerDialog::PropertiesCommand);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(dialog.list(), &del);
    EXPECT_FALSE(asked);
    EXPECT_EQ(dialog.entries(), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(messages.empty());

    dialog.selectRow(1);
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_TRUE(properties->isEnabled());
}

TEST_F(ServerList, RunningTheDialogStoresTheCurrentServerHoweverItCloses)
{
    const std::vector<std::pair<std::string, std::function<void(CddbServerDialog*)>>> closings = {
        {"ok", [](CddbServerDialog* d) { d->accept(); }},
        {"cancel", [](CddbServerDialog* d) { d->reject(); }},
        {"escape",
         [](CddbServerDialog* d) {
             QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(d, &esc);
         }},
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
        EXPECT_EQ(stored("Recent"), typed) << how;
        EXPECT_EQ(CurrentCddbServer(), typed) << how;
    }
    // Each typed server joined the list when the dialog next opened.
    EXPECT_EQ(LoadCddbServerList(),
              (std::vector<std::string>{"a", "b", "typed1.example:8880", "typed2.example:8880",
                                        "typed3.example:8880"}));
}
