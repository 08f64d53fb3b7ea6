#pragma once
// The page setup of the album report: a property sheet of four pages (page and columns, the
// header, albums, songs) over the "Print" settings: margins, columns, album spacing, which
// parts are printed and the seven report fonts with their colours. It edits its own copy;
// applyTo() hands the values over after OK, and nothing changes on Cancel.

#include "albums/reportlayout.h"
#include "platform/settings.h"

#include <QDialog>

#include <array>
#include <functional>
#include <utility>
#include <vector>

class QCheckBox;
class QColor;
class QFont;
class QLabel;
class QRadioButton;
class QSpinBox;

class CPrintPropertySheet : public QDialog
{
    Q_OBJECT
public:
    explicit CPrintPropertySheet(const AppSettings& settings, QWidget* parent = nullptr);

    // Writes the sheet's values into the "Print" fields of `settings`; nothing else changes.
    void applyTo(AppSettings& settings) const;

    // How a font and a colour are chosen (the standard dialogs unless replaced). They return
    // false when the user cancelled; otherwise the choice is left in the argument.
    using FontChooser = std::function<bool(QFont& font, QWidget* parent)>;
    using ColorChooser = std::function<bool(QColor& color, QWidget* parent)>;
    void setFontChooser(FontChooser chooser) { m_chooseFont = std::move(chooser); }
    void setColorChooser(ColorChooser chooser) { m_chooseColor = std::move(chooser); }

    // The font as the sheet holds it now.
    const FontInfo& font(ReportFont kind) const { return m_fonts[static_cast<int>(kind)]; }

private:
    QWidget* pagePage();
    QWidget* headerPage();
    QWidget* albumsPage();
    QWidget* songsPage();
    QCheckBox* addFlag(QWidget* page, const QString& text, int AppSettings::*field,
                       const char* name);
    QSpinBox* addNumber(QWidget* page, int AppSettings::*field, int minimum, int maximum,
                        const char* name);
    QWidget* fontRow(QWidget* page, ReportFont kind);
    void showFont(ReportFont kind);

    AppSettings m_settings;
    std::array<FontInfo, kReportFontCount> m_fonts;
    std::array<QLabel*, kReportFontCount> m_samples{};
    std::vector<std::pair<QCheckBox*, int AppSettings::*>> m_flags;
    std::vector<std::pair<QSpinBox*, int AppSettings::*>> m_numbers;
    QRadioButton* m_gapSpacing = nullptr;
    QRadioButton* m_slotSpacing = nullptr;
    FontChooser m_chooseFont;
    ColorChooser m_chooseColor;
};

// The manager's Page Setup command: the sheet over the settings. True when it was closed with
// OK and `settings` took its values; the caller then saves the settings.
bool EditPageSetup(QWidget* parent, AppSettings& settings);
