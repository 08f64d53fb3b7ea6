#include "albums/reportprint.h"

#include "platform/msgbox.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFontMetricsF>
#include <QLabel>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextLayout>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

QColor colorOf(int colorRef)
{
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

// One line: line breaks read as blanks.
QString singleLine(const std::string& text)
{
    QString s = q(text);
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s;
}

// Word-wrapped text is laid out the same way for measuring and for painting, so the painted
// text fills exactly the height the layout gave it. Returns the height.
qreal wrapText(QTextLayout& layout, const std::string& text, qreal width)
{
    QString s = q(text);
    s.replace(QLatin1Char('\n'), QChar::LineSeparator);
    layout.setText(s);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

int ceilInt(qreal value)
{
    return static_cast<int>(std::ceil(value - 1e-6));
}

// The status window of a print job. It has no parent: the manager is disabled while printing
// and would disable its children with it.
class ReportStatusWindow : public QDialog
{
public:
    explicit ReportStatusWindow(const QString& printer, QWidget* manager)
    {
        setObjectName(QStringLiteral("reportStatus"));
        setWindowTitle(QStringLiteral("Kolvo"));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("Printing to %1.").arg(printer), this));
        m_page = new QLabel(this);
        layout->addWidget(m_page);
        auto* cancel = new QPushButton(tr("Cancel"), this);
        cancel->setObjectName(QStringLiteral("cancel"));
        layout->addWidget(cancel, 0, Qt::AlignHCenter);
        connect(cancel, &QPushButton::clicked, this, [this] { m_cancelled = true; });
        if (manager)
            move(manager->geometry().center() - rect().center());
    }

    void showPage(int page) { m_page->setText(QStringLiteral("Page %1").arg(page)); }
    bool cancelled() const { return m_cancelled; }

protected:
    void reject() override { m_cancelled = true; }

private:
    QLabel* m_page;
    bool m_cancelled = false;
};

} // namespace

QFont reportQFont(const FontInfo& info)
{
    QFont font(q(info.fontName));
    // A size the settings cannot mean (0 or less) falls back to the font's own.
    if (info.size > 0)
        font.setPointSizeF(info.size);
    font.setWeight(info.bold ? QFont::Bold : QFont::Normal);
    font.setItalic(info.italic != 0);
    return font;
}

ReportDeviceMeasure::ReportDeviceMeasure(const AppSettings& settings, QPaintDevice* device)
    : m_device(device)
{
    for (int i = 0; i < kReportFontCount; ++i)
        m_fonts[i] =
            QFont(reportQFont(reportFontInfo(settings, static_cast<ReportFont>(i))), device);
}

int ReportDeviceMeasure::textHeight(ReportFont font, const std::string& text, int width,
                                    bool wrap) const
{
    if (!wrap)
        return ceilInt(QFontMetricsF(this->font(font), m_device).height());
    QTextLayout layout(QString(), this->font(font), m_device);
    return ceilInt(wrapText(layout, text, width));
}

int ReportDeviceMeasure::textWidth(ReportFont font, const std::string& text) const
{
    return ceilInt(QFontMetricsF(this->font(font), m_device).horizontalAdvance(q(text)));
}

void paintReportPage(QPainter& painter, const ReportPage& page, const ReportDeviceMeasure& measure)
{
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    for (const ReportFill& fill : page.fills)
        painter.fillRect(
            QRect(fill.rect.left, fill.rect.top, fill.rect.width(), fill.rect.height()),
            colorOf(fill.color));
    for (const ReportText& text : page.texts) {
        const QRect rect(text.rect.left, text.rect.top, text.rect.width(), text.rect.height());
        const QFont& font = measure.font(text.font);
        painter.setPen(colorOf(text.color));
        painter.setFont(font);
        if (text.wrap) {
            QTextLayout layout(QString(), font, measure.device());
            wrapText(layout, text.text, rect.width());
            painter.setClipRect(rect);
            layout.draw(&painter, rect.topLeft());
            painter.setClipping(false);
            continue;
        }
        int flags = Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextIncludeTrailingSpaces;
        flags |= text.align == ReportAlign::Centre  ? Qt::AlignHCenter
                 : text.align == ReportAlign::Right ? Qt::AlignRight
                                                    : Qt::AlignLeft;
        painter.drawText(rect, flags, singleLine(text.text));
    }
    painter.restore();
}

ReportGeometry reportGeometry(const QPrinter& printer)
{
    const QRect paper = printer.pageLayout().fullRectPixels(printer.resolution());
    return {paper.width(), paper.height(), printer.logicalDpiX(), printer.logicalDpiY()};
}

std::vector<Album> loadReportAlbums(const std::vector<std::string>& keys)
{
    std::vector<Album> albums;
    albums.reserve(keys.size());
    for (const std::string& key : keys) {
        Album& album = albums.emplace_back(AlbumKindCd);
        if (!album.LoadForReading(key))
            album.Close();
    }
    return albums;
}

ReportJobResult runReportJob(QPrinter& printer, const AppSettings& settings,
                             const std::vector<Album>& albums, bool selection,
                             const ReportPageRange& range, const ReportJobHooks& hooks,
                             int* printed)
{
    if (printed)
        *printed = 0;
    printer.setDocName(QStringLiteral("Kolvo"));
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        return ReportJobResult::NotStarted;
    const ReportDeviceMeasure measure(settings, &printer);
    ReportLayout layout(settings, reportGeometry(printer), measure, albums, selection);
    bool first = true;
    const int pages = forEachPrintedPage(layout, range, [&](const ReportPage& page) {
        // The job began with the first page; every further one is a page of its own.
        if (!first && !printer.newPage())
            return false;
        first = false;
        if (hooks.pageStarting)
            hooks.pageStarting(page.number);
        paintReportPage(painter, page, measure);
        if (printer.printerState() == QPrinter::Error ||
            printer.printerState() == QPrinter::Aborted)
            return false;
        return !hooks.keepGoing || hooks.keepGoing();
    });
    if (pages < 0) {
        printer.abort();
        painter.end();
        // Half a report in a file is no use to anyone.
        if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
            QFile::remove(printer.outputFileName());
        return ReportJobResult::Cancelled;
    }
    if (!painter.end())
        return ReportJobResult::Cancelled;
    if (printed)
        *printed = pages;
    return ReportJobResult::Printed;
}

int printReportToPdf(const std::string& file, const AppSettings& settings,
                     const std::vector<Album>& albums, bool selection, const ReportPageRange& range,
                     const QPageSize& pageSize, std::string* error)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(q(file));
    if (pageSize.isValid())
        printer.setPageSize(pageSize);
    int printed = 0;
    switch (runReportJob(printer, settings, albums, selection, range, {}, &printed)) {
    case ReportJobResult::Printed:
        return printed;
    case ReportJobResult::NotStarted:
        if (error)
            *error = "cannot write " + file;
        return -1;
    case ReportJobResult::Cancelled:
        break;
    }
    if (error)
        *error = "printing to " + file + " failed";
    return -1;
}

void PrintAlbumReport(QWidget* manager, const AppSettings& settings,
                      const std::vector<std::string>& keys, const std::string& selectedKey)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setFromTo(1, 1);
    QPrintDialog dialog(&printer, manager);
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintSelection |
                      QAbstractPrintDialog::PrintPageRange |
                      QAbstractPrintDialog::PrintShowPageSize);
    dialog.setMinMax(1, 999);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ReportPrintRequest request;
    request.selection = printer.printRange() == QPrinter::Selection;
    if (printer.printRange() == QPrinter::PageRange)
        request.range = {printer.fromPage(), printer.toPage()};
    PrintAlbumReportOn(printer, request, manager, settings, keys, selectedKey);
}

void PrintAlbumReportOn(QPrinter& printer, const ReportPrintRequest& request, QWidget* manager,
                        const AppSettings& settings, const std::vector<std::string>& keys,
                        const std::string& selectedKey)
{
    if (request.selection && selectedKey.empty()) {
        KolvoMessageBox(manager, QStringLiteral("There is no selected Album."),
                        MessageIcon::Information);
        return;
    }
    const std::vector<Album> albums =
        loadReportAlbums(request.selection ? std::vector<std::string>{selectedKey} : keys);

    const QString target =
        printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    ReportStatusWindow status(target, manager);
    if (manager)
        manager->setEnabled(false);
    status.show();
    QApplication::processEvents();

    ReportJobHooks hooks;
    hooks.pageStarting = [&status](int page) {
        status.showPage(page);
        QApplication::processEvents();
    };
    hooks.keepGoing = [&status] {
        QApplication::processEvents();
        return !status.cancelled();
    };
    const ReportJobResult result =
        runReportJob(printer, settings, albums, request.selection, request.range, hooks);
    status.hide();
    if (manager)
        manager->setEnabled(true);
    if (result == ReportJobResult::NotStarted)
        KolvoMessageBox(manager, QStringLiteral("Can't start print job."),
                        MessageIcon::Information);
    else if (result == ReportJobResult::Cancelled)
        KolvoMessageBox(manager,
                        QStringLiteral("User canceled print job or error occured during print "
                                       "job."),
                        MessageIcon::Information);
    if (manager) {
        manager->raise();
        manager->activateWindow();
    }
}
