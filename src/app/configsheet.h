#pragma once
// The preferences: a tabbed dialog showing part of the settings. On OK the main window writes
// what the pages show into the live settings and nothing more, so that what changed elsewhere
// while the sheet was open (the sleep timer, the effects, the remote's player) stays as it is;
// Cancel leaves nothing changed.

#include "platform/settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QSpinBox;

class CConfigPropertySheet : public QDialog
{
    Q_OBJECT
public:
    CConfigPropertySheet(const AppSettings& settings, QWidget* parent = nullptr);

    // Writes the values the pages show, as they leave them, into settings; the fields the
    // sheet does not show are left alone (only meaningful after OK).
    void applyTo(AppSettings& settings) const;

private:
    QWidget* skinPage();
    QWidget* displayPage();
    QWidget* audioPage();
    QWidget* cdPage();
    QWidget* generalPage();
    QCheckBox* addFlag(QWidget* page, const char* text, int AppSettings::*field);

    // The values the pages start from; never handed back whole.
    AppSettings m_settings;
    std::vector<std::string> m_skinFiles;
    QListWidget* m_skins = nullptr;
    std::vector<std::pair<QCheckBox*, int AppSettings::*>> m_flags;
    QComboBox* m_channel = nullptr;
    QComboBox* m_outputType = nullptr;
    QLineEdit* m_wavDir = nullptr;
    QLineEdit* m_streamDir = nullptr;
    QSpinBox* m_scale = nullptr;
    QComboBox* m_drive = nullptr;
};
