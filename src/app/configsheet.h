#pragma once
// The preferences: a tabbed dialog over a copy of the settings, one page each for the general
// behaviour, the skin, the display panels' line, the CD, Digital Audio, MIDI and Digital Video
// Players, the remote control, the spectrum displays, the sleep timer's action, the hot keys
// and the MPEG engine. Every control is bound to one setting and edits the copy. On OK the
// main window writes back only the settings whose value the user changed on the pages, so that
// what changed elsewhere while the sheet was open (the sleep timer, the effects, the remote's
// player) stays as it is; Cancel leaves nothing changed.

#include "platform/hotkeys.h"
#include "platform/settings.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QTabWidget;
class QTreeWidget;
class QWidget;

// What the hot-key page shows besides the setting: the table, why global keys cannot be had in
// this session (empty when they can), and the ids another program holds.
struct HotKeyPageInfo
{
    hotkeys::Table table = hotkeys::DefaultTable();
    QString unavailableReason;
    QString note; // about keys that can be had (the desktop's say in them)
    std::vector<int> taken;
};

class CConfigPropertySheet : public QDialog
{
    Q_OBJECT
public:
    CConfigPropertySheet(const AppSettings& settings, QWidget* parent = nullptr,
                         HotKeyPageInfo hotKeys = {});

    // Writes into settings the values the user changed on the pages and nothing else (only
    // meaningful after OK).
    void applyTo(AppSettings& settings) const;

    // The settings as the pages show them now.
    const AppSettings& edited() const { return m_edited; }
    QTabWidget* pages() const { return m_tabs; }
    // How many settings the pages are bound to.
    int boundCount() const { return static_cast<int>(m_bindings.size()); }

private:
    struct Binding
    {
        std::function<bool(const AppSettings&, const AppSettings&)> same;
        std::function<void(const AppSettings& from, AppSettings& to)> copy;
    };
    // ref: a generic lambda handing out a reference to one field of any AppSettings.
    template <typename Ref>
    void bind(Ref ref);
    template <typename Ref>
    QCheckBox* check(QWidget* page, const QString& text, Ref ref);
    template <typename Ref>
    QComboBox* choice(QWidget* page, const QStringList& items, Ref ref);

    QWidget* generalPage();
    QWidget* skinPage();
    QWidget* displayPage();
    QWidget* cdPage();
    QWidget* audioPage();
    QWidget* midiPage();
    QWidget* videoPage();
    QWidget* remotePage();
    QWidget* spectrumPage();
    QWidget* timerPage();
    QWidget* hotKeyPage();
    QWidget* mpegPage();
    void fillHotKeyList(int group);

    AppSettings m_initial; // the values the pages start from
    AppSettings m_edited;  // the values as the pages show them
    HotKeyPageInfo m_hotKeys;
    std::vector<Binding> m_bindings;
    QTabWidget* m_tabs = nullptr;
    QTreeWidget* m_hotKeyList = nullptr;
};
