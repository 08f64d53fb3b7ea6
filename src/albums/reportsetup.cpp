#include "albums/reportsetup.h"

#include "albums/reportprint.h"
#include "platform/strings.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr UINT kPageSetupId = 33366;
// Margins and gaps, in millimetres: up to half a metre is more than any paper asks for.
constexpr int kMaxMillimetres = 500;

QColor colorOf(int colorRef)
{
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

int colorRefOf(const QColor& color)
{
    return color.red() | color.green() << 8 | color.blue() << 16;
}

const char* fontName(ReportFont kind)
{
    static const char* const names[kReportFontCount] = {
        "titleFont",     "pageFont",      "albumTitleFont", "albumSingerFont",
        "albumDescFont", "songTitleFont", "songDescFont",
    };
    return names[static_cast<int>(kind)];
}

} // namespace

CPrintPropertySheet::CPrintPropertySheet(const AppSettings& settings, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_chooseFont([](QFont& font, QWidget* parent) {
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, font, parent);
        if (ok)
            font = chosen;
        return ok;
    })
    , m_chooseColor([](QColor& color, QWidget* parent) {
        const QColor chosen = QColorDialog::getColor(color, parent);
        if (chosen.isValid())
            color = chosen;
        return chosen.isValid();
    })
{
    for (int i = 0; i < kReportFontCount; ++i)
        m_fonts[i] = reportFontInfo(settings, static_cast<ReportFont>(i));
    setWindowTitle(LoadQString(kPageSetupId));
    auto* tabs = new QTabWidget(this);
    tabs->addTab(pagePage(), tr("Page"));
    tabs->addTab(headerPage(), tr("Header"));
    tabs->addTab(albumsPage(), tr("Albums"));
    tabs->addTab(songsPage(), tr("Songs"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

QCheckBox* CPrintPropertySheet::addFlag(QWidget* page, const QString& text, int AppSettings::*field,
                                        const char* name)
{
    auto* box = new QCheckBox(text, page);
    box->setObjectName(QLatin1String(name));
    box->setChecked(m_settings.*field != 0);
    m_flags.emplace_back(box, field);
    return box;
}

QSpinBox* CPrintPropertySheet::addNumber(QWidget* page, int AppSettings::*field, int minimum,
                                         int maximum, const char* name)
{
    auto* box = new QSpinBox(page);
    box->setObjectName(QLatin1String(name));
    box->setRange(minimum, maximum);
    box->setValue(m_settings.*field);
    m_numbers.emplace_back(box, field);
    return box;
}

// A sample of the font in its colour (on black when the text is white, as it prints) and the
// buttons that change them.
QWidget* CPrintPropertySheet::fontRow(QWidget* page, ReportFont kind)
{
    auto* row = new QWidget(page);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* sample = new QLabel(row);
    sample->setObjectName(QLatin1String(fontName(kind)));
    sample->setAutoFillBackground(true);
    sample->setMinimumWidth(200);
    m_samples[static_cast<int>(kind)] = sample;
    auto* fontButton = new QPushButton(tr("Font..."), row);
    fontButton->setObjectName(QLatin1String(fontName(kind)) + QLatin1String("Button"));
    auto* colorButton = new QPushButton(tr("Colour..."), row);
    colorButton->setObjectName(QLatin1String(fontName(kind)) + QLatin1String("Colour"));
    layout->addWidget(sample, 1);
    layout->addWidget(fontButton);
    layout->addWidget(colorButton);
    connect(fontButton, &QPushButton::clicked, this, [this, kind] {
        FontInfo& info = m_fonts[static_cast<int>(kind)];
        QFont font = reportQFont(info);
        if (!m_chooseFont(font, this))
            return;
        info.fontName = font.family().toStdString();
        if (font.pointSizeF() > 0)
            info.size = std::max(1, static_cast<int>(std::lround(font.pointSizeF())));
        info.bold = font.weight() >= QFont::Bold ? 1 : 0;
        info.italic = font.italic() ? 1 : 0;
        showFont(kind);
    });
    connect(colorButton, &QPushButton::clicked, this, [this, kind] {
        FontInfo& info = m_fonts[static_cast<int>(kind)];
        QColor color = colorOf(info.color);
        if (!m_chooseColor(color, this))
            return;
        info.color = colorRefOf(color);
        showFont(kind);
    });
    showFont(kind);
    return row;
}

void CPrintPropertySheet::showFont(ReportFont kind)
{
    const FontInfo& info = m_fonts[static_cast<int>(kind)];
    QLabel* sample = m_samples[static_cast<int>(kind)];
    QString text =
        QStringLiteral("%1, %2 pt").arg(QString::fromStdString(info.fontName)).arg(info.size);
    if (info.bold)
        text += tr(", bold");
    if (info.italic)
        text += tr(", italic");
    sample->setText(text);
    sample->setFont(reportQFont(info));
    QPalette palette = sample->palette();
    const QColor color = colorOf(info.color);
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Window, color == Qt::white ? QColor(Qt::black) : QColor(Qt::white));
    sample->setPalette(palette);
}

QWidget* CPrintPropertySheet::pagePage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* margins = new QGroupBox(tr("Margins (mm)"), page);
    auto* form = new QFormLayout(margins);
    form->addRow(tr("Left:"), addNumber(margins, &AppSettings::pageMarginLeft, 0, kMaxMillimetres,
                                        "pageMarginLeft"));
    form->addRow(tr("Top:"), addNumber(margins, &AppSettings::pageMarginTop, 0, kMaxMillimetres,
                                       "pageMarginTop"));
    form->addRow(tr("Right:"), addNumber(margins, &AppSettings::pageMarginRight, 0, kMaxMillimetres,
                                         "pageMarginRight"));
    form->addRow(tr("Bottom:"), addNumber(margins, &AppSettings::pageMarginBottom, 0,
                                          kMaxMillimetres, "pageMarginBottom"));
    layout->addWidget(margins);

    auto* columns = new QGroupBox(tr("Columns"), page);
    auto* columnsLayout = new QVBoxLayout(columns);
    QCheckBox* two =
        addFlag(columns, tr("Two columns per page"), &AppSettings::enableTwoColumn, "twoColumns");
    QCheckBox* separator = addFlag(columns, tr("A line between the columns"),
                                   &AppSettings::enableColumnSeparator, "columnSeparator");
    separator->setEnabled(two->isChecked());
    connect(two, &QCheckBox::toggled, separator, &QWidget::setEnabled);
    columnsLayout->addWidget(two);
    columnsLayout->addWidget(separator);
    layout->addWidget(columns);

    auto* spacing = new QGroupBox(tr("Album spacing"), page);
    auto* grid = new QFormLayout(spacing);
    m_gapSpacing = new QRadioButton(tr("A gap after each album (mm):"), spacing);
    m_gapSpacing->setObjectName(QStringLiteral("gapSpacing"));
    m_slotSpacing = new QRadioButton(tr("Albums per column, evenly spaced:"), spacing);
    m_slotSpacing->setObjectName(QStringLiteral("slotSpacing"));
    (m_settings.albumSize == 0 ? m_gapSpacing : m_slotSpacing)->setChecked(true);
    QSpinBox* gap =
        addNumber(spacing, &AppSettings::albumSizeMargin, 0, kMaxMillimetres, "albumSizeMargin");
    QSpinBox* count = addNumber(spacing, &AppSettings::albumSizeCount, 1, 99, "albumSizeCount");
    gap->setEnabled(m_gapSpacing->isChecked());
    count->setEnabled(m_slotSpacing->isChecked());
    connect(m_gapSpacing, &QRadioButton::toggled, gap, &QWidget::setEnabled);
    connect(m_slotSpacing, &QRadioButton::toggled, count, &QWidget::setEnabled);
    grid->addRow(m_gapSpacing, gap);
    grid->addRow(m_slotSpacing, count);
    layout->addWidget(spacing);
    layout->addStretch();
    return page;
}

QWidget* CPrintPropertySheet::headerPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(addFlag(page, tr("Report title"), &AppSettings::enableTitleInfo, "title"));
    layout->addWidget(fontRow(page, ReportFont::Title));
    layout->addWidget(
        addFlag(page, tr("Page numbers"), &AppSettings::enablePageInfo, "pageNumbers"));
    layout->addWidget(fontRow(page, ReportFont::Page));
    auto* form = new QFormLayout;
    form->addRow(tr("Space below the header (mm):"),
                 addNumber(page, &AppSettings::headerMargin, 0, kMaxMillimetres, "headerMargin"));
    layout->addLayout(form);
    layout->addStretch();
    return page;
}

QWidget* CPrintPropertySheet::albumsPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(tr("Album title:"), page));
    layout->addWidget(fontRow(page, ReportFont::AlbumTitle));
    layout->addWidget(addFlag(page, tr("Number the albums"), &AppSettings::enableAlbumNumbering,
                              "albumNumbering"));
    layout->addWidget(
        addFlag(page, tr("Artist"), &AppSettings::enableAlbumSingerInfo, "albumSinger"));
    layout->addWidget(fontRow(page, ReportFont::AlbumSinger));
    layout->addWidget(
        addFlag(page, tr("Description"), &AppSettings::enableAlbumDescInfo, "albumDesc"));
    layout->addWidget(fontRow(page, ReportFont::AlbumDesc));
    layout->addStretch();
    return page;
}

QWidget* CPrintPropertySheet::songsPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(addFlag(page, tr("Songs"), &AppSettings::enableSongInfo, "songs"));
    layout->addWidget(fontRow(page, ReportFont::SongTitle));
    layout->addWidget(
        addFlag(page, tr("Song lengths"), &AppSettings::enableSongTimeInfo, "songTimes"));
    layout->addWidget(
        addFlag(page, tr("Song descriptions"), &AppSettings::enableSongDescInfo, "songDesc"));
    layout->addWidget(fontRow(page, ReportFont::SongDesc));
    layout->addStretch();
    return page;
}

void CPrintPropertySheet::applyTo(AppSettings& settings) const
{
    for (const auto& [box, field] : m_flags)
        settings.*field = box->isChecked() ? 1 : 0;
    for (const auto& [box, field] : m_numbers)
        settings.*field = box->value();
    // Any value but 0 means evenly spaced; a stored one is kept as it was.
    settings.albumSize =
        m_slotSpacing->isChecked() ? (m_settings.albumSize != 0 ? m_settings.albumSize : 1) : 0;
    for (int i = 0; i < kReportFontCount; ++i)
        reportFontInfo(settings, static_cast<ReportFont>(i)) = m_fonts[i];
}

bool EditPageSetup(QWidget* parent, AppSettings& settings)
{
    CPrintPropertySheet sheet(settings, parent);
    if (sheet.exec() != QDialog::Accepted)
        return false;
    sheet.applyTo(settings);
    return true;
}
