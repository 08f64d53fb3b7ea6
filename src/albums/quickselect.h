#pragma once
// Two small pop-ups for jumping quickly: one lists the albums of a database and gives back the
// chosen key, the other lists the songs of an album and gives back the chosen song number.

#include <QDialog>

#include <string>
#include <vector>

class QTreeWidget;

class QuickSelectDialog : public QDialog
{
    Q_OBJECT
public:
    ~QuickSelectDialog() override;

protected:
    // `section` keeps the window's rectangle in the settings.
    QuickSelectDialog(const char* section, unsigned titleId, QWidget* parent);
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    // A click on the list where there is no row chooses too: it clears the selection first.
    bool eventFilter(QObject* watched, QEvent* event) override;
    virtual void choose() = 0;
    virtual void layoutColumns() = 0;

    QTreeWidget* m_list;

private:
    const char* m_section;
    bool m_placed = false;
    bool m_pressedOutsideRows = false;
};

class QuickAlbumSelect : public QuickSelectDialog
{
    Q_OBJECT
public:
    QuickAlbumSelect(const std::vector<std::string>& albumKeys, QWidget* parent = nullptr);
    // The chosen key; "" until the dialog ended with OK.
    std::string chosenKey() const { return m_chosen; }

protected:
    void choose() override;
    void layoutColumns() override;

private:
    std::string m_chosen;
};

class QuickTrackSelect : public QuickSelectDialog
{
    Q_OBJECT
public:
    // One display name per song, in album order.
    QuickTrackSelect(const std::vector<std::string>& songNames, QWidget* parent = nullptr);
    // The chosen song number (1-based), 0 when the dialog ended with no row selected.
    int chosenSong() const { return m_chosen; }

protected:
    void choose() override;
    void layoutColumns() override;

private:
    int m_chosen = 0;
};

// Where a quick-selection window goes: the saved rectangle when it lies wholly inside the work
// area and is more than 100 pixels wide and high; otherwise an empty rectangle (keep the default).
QRect QuickSelectPlacement(const QRect& saved, const QRect& workArea);
