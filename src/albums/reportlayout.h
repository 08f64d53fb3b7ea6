#pragma once
// The album report's page layout as a pure computation: from the albums, the "Print" settings,
// the page's size and resolution and a way to measure text, each page becomes a list of placed
// texts and filled rectangles in printer units. Nothing here paints or needs a printer; the
// painter (reportprint.h) only draws what a page lists, so what is printed is what is tested.
//
// Pages are laid out one after another from page 1: the title line, the page number, then the
// album blocks in one or two columns, an album that does not fit moving on to the next column
// or page. A block is never split, and the first block of a column is placed even when it is
// taller than the column (it runs past the bottom margin), so every page makes progress.

#include "albums/album.h"
#include "platform/settings.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The seven text kinds of the report, each with a font of its own in the settings.
enum class ReportFont : int {
    Title,
    Page,
    AlbumTitle,
    AlbumSinger,
    AlbumDesc,
    SongTitle,
    SongDesc
};
constexpr int kReportFontCount = 7;

// The settings' font of a text kind.
const FontInfo& reportFontInfo(const AppSettings& settings, ReportFont font);
FontInfo& reportFontInfo(AppSettings& settings, ReportFont font);

// Half-open rectangle in printer units: left <= x < right, top <= y < bottom.
struct ReportRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const ReportRect&) const = default;
};

enum class ReportAlign { Left, Centre, Right };

struct ReportText
{
    ReportRect rect;  // the text is clipped to it
    std::string text; // UTF-8; line breaks are "\n"
    ReportFont font = ReportFont::Title;
    ReportAlign align = ReportAlign::Left;
    bool wrap = false; // word-wrapped from the top; otherwise one line centred vertically
    int color = 0;     // 0x00BBGGRR
};

struct ReportFill
{
    ReportRect rect;
    int color = 0; // 0x00BBGGRR
};

// Where an album landed.
struct ReportPlacement
{
    std::size_t album = 0; // index into the albums laid out
    int number = 0;        // the album counter (1 for the first album of the report)
    int column = 0;        // 0 or 1
    ReportRect block;      // from the column's left to its right edge, the block's height
};

struct ReportPage
{
    int number = 0;
    std::vector<ReportFill> fills; // painted before the texts
    std::vector<ReportText> texts;
    std::vector<ReportPlacement> albums;
};

// The page in printer units (origin at the paper's top left corner) and the printer's
// resolution, which turns the millimetres of the settings into printer units.
struct ReportGeometry
{
    int pageWidth = 0;
    int pageHeight = 0;
    int dpiX = 600;
    int dpiY = 600;
};

// How tall a text is and how wide one line is, in printer units, in a font of the report.
class ReportMeasure
{
public:
    virtual ~ReportMeasure() = default;
    // One line (wrap false; line breaks count as blanks), or word-wrapped to `width` (a word
    // longer than the width is broken where it must).
    virtual int textHeight(ReportFont font, const std::string& text, int width,
                           bool wrap) const = 0;
    // The advance of one line of text, trailing blanks included.
    virtual int textWidth(ReportFont font, const std::string& text) const = 0;
};

// The fixed texts of the report.
std::string reportTitleText(bool selection, std::size_t albumCount);
std::string reportPageText(int page);
// A song's line: its title ("Track n" when it has none), with " (m:ss)" when times are shown
// and the length is known.
std::string reportSongLine(const SongEntry& song, int n, bool withTime);

class ReportLayout
{
public:
    // `albums` are laid out in order and must outlive the layout. A selection report prints the
    // first album alone: no album count in the title, no page number line, no numbering.
    ReportLayout(const AppSettings& settings, const ReportGeometry& geometry,
                 const ReportMeasure& measure, const std::vector<Album>& albums,
                 bool selection = false);

    // Lays out the next page. The first call gives page 1, which exists even with no albums.
    ReportPage nextPage();
    // No album left for another page (after at least one page).
    bool done() const { return m_pagesLaidOut > 0 && m_cursor >= m_end; }

    // Millimetres to printer units, across and down.
    int mmX(double mm) const;
    int mmY(double mm) const;

private:
    struct Block
    {
        std::vector<ReportFill> fills;
        std::vector<ReportText> texts;
        int bottom = 0;
    };
    int placeText(Block& out, ReportFont font, std::string text, int left, int right, int top,
                  ReportAlign align, bool wrap) const;
    Block albumBlock(const Album& album, int counter, int left, int right, int top) const;

    const AppSettings& m_settings;
    ReportGeometry m_geometry;
    const ReportMeasure& m_measure;
    const std::vector<Album>& m_albums;
    bool m_selection;
    std::size_t m_cursor = 0;
    std::size_t m_end = 0;
    int m_counter = 1;
    int m_pagesLaidOut = 0;
};

// Every page of a report.
std::vector<ReportPage> layoutReport(const AppSettings& settings, const ReportGeometry& geometry,
                                     const ReportMeasure& measure, const std::vector<Album>& albums,
                                     bool selection = false);

// Pages to print: all (0, 0), or from..to taken in either order.
struct ReportPageRange
{
    int from = 0;
    int to = 0;
    bool all() const { return from <= 0 && to <= 0; }
    int lower() const;
    int upper() const;
    bool contains(int page) const;
};

// Lays the pages out from page 1 and hands each page of the range to `print`; pages before the
// range are only laid out, so the range starts with the right album, and the run ends after
// the range's upper bound. `print` returns false to stop (a failure or the user's abort).
// Returns the number of pages printed, or -1 when `print` stopped the run.
int forEachPrintedPage(ReportLayout& layout, const ReportPageRange& range,
                       const std::function<bool(const ReportPage&)>& print);
