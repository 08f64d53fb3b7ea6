#pragma once
// The preferences: a tabbed dialog over a copy of the settings. OK leaves the edited copy for
// the main window to take over; Cancel leaves nothing changed.

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

    // The settings as the pages leave them (only meaningful after OK).
    AppSettings edited() const;

private:
    QWidget* skinPage();
    QWidget* displayPage();
    QWidget* audioPage();
    QWidget* cdPage();
    QWidget* generalPage();
    QCheckBox* addFlag(QWidget* page, const char* text, int AppSettings::*field);

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
