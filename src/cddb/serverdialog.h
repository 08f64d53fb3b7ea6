#pragma once
// CddbServerDialog: the user's list of CD database servers and the current one. Both OK and
// Cancel keep the list and the current server as they are shown.

#include <QDialog>

#include <string>
#include <vector>

class QAction;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The one-field dialog that asks for a server address.
class CddbAddressDialog : public QDialog
{
    Q_OBJECT
public:
    CddbAddressDialog(const QString& title, const QString& text, QWidget* parent = nullptr);
    QString text() const;
    QLineEdit* edit() const { return m_edit; }
    void accept() override;

private:
    QLineEdit* m_edit = nullptr;
};

class CddbServerDialog : public QDialog
{
    Q_OBJECT
public:
    // The designed command ids, which are also the toolbar's tooltips.
    enum Command {
        AddCommand = 32856,
        RemoveCommand = 32858,
        PropertiesCommand = 33240,
        RestoreCommand = 33437,
    };
    // The state icons: the current entry and the others.
    enum StateIcon { CurrentIcon = 2, OtherIcon = 3 };

    explicit CddbServerDialog(QWidget* parent = nullptr);

    // Runs a command as its toolbar button does.
    void runCommand(int command);

    std::vector<std::string> entries() const;
    std::string currentServer() const;
    int selectedRow() const;
    void selectRow(int row);
    // Which state icon an entry shows.
    int stateIconOf(int row) const;
    QAction* action(int command) const;
    QTreeWidget* list() const { return m_list; }
    QLineEdit* currentEdit() const { return m_current; }

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    void save();
    void add();
    void remove();
    void properties();
    void restore();
    void appendEntry(const QString& text);
    void onCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void onItemChanged(QTreeWidgetItem* item, int column);
    void updateActions();
    void setStateIcon(QTreeWidgetItem* item, int icon);

    QTreeWidget* m_list = nullptr;
    QLineEdit* m_current = nullptr;
    QAction* m_add = nullptr;
    QAction* m_remove = nullptr;
    QAction* m_properties = nullptr;
    QAction* m_restore = nullptr;
    bool m_loading = false;
};

// Opens the server dialog (the "Edit CDDB Server URL" command and the album properties'
// server button); whatever its result, the current server it shows is stored.
int RunCddbServerDialog(QWidget* parent);
