#pragma once
// Printing the CD album report: text measured and pages painted with Qt on any paint device
// (a printer, a PDF file, an image), the print job with its page range, status window and
// messages, and the Print command of the CD album manager. The layout itself is
// reportlayout.h; this file only measures for it and draws what it placed.
//
// Pages are printed "full page": the margins of the settings are measured from the paper's
// edges, whatever the printer's own unprintable border.

#include "albums/reportlayout.h"

#include <QFont>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QPageSize;
class QPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

// The font of a report text kind: the face, the size in points, weight 700 when bold else 400,
// italic when set.
QFont reportQFont(const FontInfo& info);

// Measures in the report's fonts at a paint device's resolution.
class ReportDeviceMeasure : public ReportMeasure
{
public:
    ReportDeviceMeasure(const AppSettings& settings, QPaintDevice* device);

    int textHeight(ReportFont font, const std::string& text, int width, bool wrap) const override;
    int textWidth(ReportFont font, const std::string& text) const override;

    // The font resolved for the device.
    const QFont& font(ReportFont font) const { return m_fonts[static_cast<int>(font)]; }
    QPaintDevice* device() const { return m_device; }

private:
    std::array<QFont, kReportFontCount> m_fonts;
    QPaintDevice* m_device;
};

// Draws one laid-out page; the painter's device is the one `measure` measured on.
void paintReportPage(QPainter& painter, const ReportPage& page, const ReportDeviceMeasure& measure);

// The printer's whole paper in printer units, and its resolution.
ReportGeometry reportGeometry(const QPrinter& printer);

// The CD albums of the keys, in order, read without changing the database (an album that has
// gone meanwhile is printed untitled and empty under its key).
std::vector<Album> loadReportAlbums(const std::vector<std::string>& keys);

enum class ReportJobResult {
    Printed,
    NotStarted, // the printer (or the file) could not be opened
    Cancelled,  // a page failed or the user aborted; a PDF file begun is removed
};

struct ReportJobHooks
{
    std::function<void(int page)> pageStarting; // before a page of the range is painted
    std::function<bool()> keepGoing;            // the abort check after each printed page
};

// Prints the report on a printer set up by the caller (output, paper), as the document
// "Kolvo". `printed` receives the number of pages printed.
ReportJobResult runReportJob(QPrinter& printer, const AppSettings& settings,
                             const std::vector<Album>& albums, bool selection,
                             const ReportPageRange& range, const ReportJobHooks& hooks = {},
                             int* printed = nullptr);

// The report as a PDF file, with no printer needed. `pageSize` invalid: the printer's default.
// The number of pages written, or -1 (and why in `error`).
int printReportToPdf(const std::string& file, const AppSettings& settings,
                     const std::vector<Album>& albums, bool selection, const ReportPageRange& range,
                     const QPageSize& pageSize, std::string* error = nullptr);

// What the print dialog asked for.
struct ReportPrintRequest
{
    bool selection = false; // only the album selected in the tree
    ReportPageRange range;
};

// The CD album manager's Print command: the print dialog (pages 1 to 1 proposed, 1 to 999
// allowed, the selection option for the selected album), then the job. `keys` are the albums
// of the tree in tree order; `selectedKey` is the selected one ("" for none). The manager is
// disabled while printing and brought to the front afterwards.
void PrintAlbumReport(QWidget* manager, const AppSettings& settings,
                      const std::vector<std::string>& keys, const std::string& selectedKey);

// The part after the dialog, on a printer already chosen: the selection check, the status
// window ("Printing to %s.", "Page %d", Cancel), the job and its messages.
void PrintAlbumReportOn(QPrinter& printer, const ReportPrintRequest& request, QWidget* manager,
                        const AppSettings& settings, const std::vector<std::string>& keys,
                        const std::string& selectedKey);
