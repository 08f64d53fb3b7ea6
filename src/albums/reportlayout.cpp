#include "albums/reportlayout.h"

#include "platform/strings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr UINT kTrackId = 2033;
constexpr int kWhite = 0xFFFFFF;
// The band of a song's number when a selection is printed, in printer units as they come.
constexpr int kSelectionNumberWidth = 300;

std::string formatted(const char* format, int value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// Descriptions keep line breaks as single CRs; the report breaks its lines there (a CR LF
// pair stays one break).
std::string withLineBreaks(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

const FontInfo& reportFontInfo(const AppSettings& settings, ReportFont font)
{
    switch (font) {
    case ReportFont::Title:
        return settings.titleFont;
    case ReportFont::Page:
        return settings.pageFont;
    case ReportFont::AlbumTitle:
        return settings.albumTitleFont;
    case ReportFont::AlbumSinger:
        return settings.albumSingerFont;
    case ReportFont::AlbumDesc:
        return settings.albumDescFont;
    case ReportFont::SongTitle:
        return settings.songTitleFont;
    case ReportFont::SongDesc:
        break;
    }
    return settings.songDescFont;
}

FontInfo& reportFontInfo(AppSettings& settings, ReportFont font)
{
    return const_cast<FontInfo&>(reportFontInfo(static_cast<const AppSettings&>(settings), font));
}

std::string reportTitleText(bool selection, std::size_t albumCount)
{
    if (selection)
        return "Kolvo Audio CD Information Report";
    return formatted("Kolvo Audio CD Information Report (%d Albums)", static_cast<int>(albumCount));
}

std::string reportPageText(int page)
{
    return formatted("- Page %d -", page);
}

std::string reportSongLine(const SongEntry& song, int n, bool withTime)
{
    std::string line =
        song.title.empty() ? LoadString(kTrackId) + " " + std::to_string(n) : song.title;
    if (withTime && song.lengthMs != 0) {
        char time[32];
        std::snprintf(time, sizeof time, " (%d:%02d)", song.lengthMs / 60000,
                      song.lengthMs / 1000 % 60);
        line += time;
    }
    return line;
}

ReportLayout::ReportLayout(const AppSettings& settings, const ReportGeometry& geometry,
                           const ReportMeasure& measure, const std::vector<Album>& albums,
                           bool selection)
    : m_settings(settings)
    , m_geometry(geometry)
    , m_measure(measure)
    , m_albums(albums)
    , m_selection(selection)
    , m_end(selection ? std::min<std::size_t>(albums.size(), 1) : albums.size())
{
    m_geometry.dpiX = std::max(1, m_geometry.dpiX);
    m_geometry.dpiY = std::max(1, m_geometry.dpiY);
}

// The settings give millimetres; the conversion goes through hundredths of a millimetre.
int ReportLayout::mmX(double mm) const
{
    return static_cast<int>(std::lround(std::lround(mm * 100) * m_geometry.dpiX / 2540.0));
}

int ReportLayout::mmY(double mm) const
{
    return static_cast<int>(std::lround(std::lround(mm * 100) * m_geometry.dpiY / 2540.0));
}

// Places one text from `top` between `left` and `right` and returns where the next one starts.
// White text could not be seen on paper, so it goes on a black band 1 mm taller than the text.
int ReportLayout::placeText(Block& out, ReportFont font, std::string text, int left, int right,
                            int top, ReportAlign align, bool wrap) const
{
    right = std::max(right, left + 1);
    const int height = std::max(0, m_measure.textHeight(font, text, right - left, wrap));
    const int color = reportFontInfo(m_settings, font).color & 0xFFFFFF;
    ReportText item;
    item.text = std::move(text);
    item.font = font;
    item.align = align;
    item.wrap = wrap;
    item.color = color;
    int bandHeight = height;
    if (color == kWhite) {
        bandHeight = height + mmY(1);
        out.fills.push_back({{left, top, right, top + bandHeight}, 0});
        item.rect = wrap ? ReportRect{left, top + mmY(0.5), right, top + mmY(0.5) + height}
                         : ReportRect{left, top, right, top + bandHeight};
    } else {
        item.rect = {left, top, right, top + height};
    }
    out.texts.push_back(std::move(item));
    return top + bandHeight;
}

ReportLayout::Block ReportLayout::albumBlock(const Album& album, int counter, int left, int right,
                                             int top) const
{
    const AppSettings& s = m_settings;
    Block block;
    const std::string prefix = formatted("%d. ", counter);
    const int indent =
        m_selection ? kSelectionNumberWidth : m_measure.textWidth(ReportFont::AlbumTitle, prefix);
    const int inner = std::min(left + indent, right - 1);
    const std::string title = album.title().empty() ? "Untitled" : album.title();
    int y = top;
    y = placeText(block, ReportFont::AlbumTitle,
                  s.enableAlbumNumbering && !m_selection ? prefix + title : title, left, right, y,
                  ReportAlign::Left, false);
    if (s.enableAlbumSingerInfo)
        y = placeText(block, ReportFont::AlbumSinger,
                      album.artist().empty() ? "Unknown" : album.artist(), inner, right, y,
                      ReportAlign::Left, false);
    if (s.enableAlbumDescInfo && !album.extendedInfo().empty())
        y = placeText(block, ReportFont::AlbumDesc, withLineBreaks(album.extendedInfo()), inner,
                      right, y, ReportAlign::Left, true);
    if (s.enableSongInfo) {
        y += mmY(1);
        for (int n = 1; n <= album.songCount(); ++n) {
            const SongEntry& song = *album.GetSong(n);
            // The number and the title share one line in one font, so one band.
            const int numberEnd = placeText(block, ReportFont::SongTitle, formatted("%2d. ", n),
                                            left, inner, y, ReportAlign::Right, false);
            const int titleEnd = placeText(block, ReportFont::SongTitle,
                                           reportSongLine(song, n, s.enableSongTimeInfo != 0),
                                           inner, right, y, ReportAlign::Left, false);
            y = std::max(numberEnd, titleEnd);
            if (s.enableSongDescInfo && !song.extendedInfo.empty()) {
                y = placeText(block, ReportFont::SongDesc, withLineBreaks(song.extendedInfo), inner,
                              right, y, ReportAlign::Left, true);
                y += mmY(0.5);
            }
        }
    }
    block.bottom = y;
    return block;
}

ReportPage ReportLayout::nextPage()
{
    const AppSettings& s = m_settings;
    ReportPage page;
    page.number = ++m_pagesLaidOut;

    const int pageWidth = m_geometry.pageWidth;
    const int left = mmX(s.pageMarginLeft);
    const int right = std::max(left + 1, pageWidth - mmX(s.pageMarginRight));
    const int bottom = m_geometry.pageHeight - mmY(s.pageMarginBottom);

    Block header;
    int y = mmY(s.pageMarginTop);
    if (s.enableTitleInfo)
        y = placeText(header, ReportFont::Title, reportTitleText(m_selection, m_albums.size()),
                      left, right, y, ReportAlign::Centre, false);
    if (s.enablePageInfo && !m_selection) {
        y += mmY(2);
        y = placeText(header, ReportFont::Page, reportPageText(page.number), left, right, y,
                      ReportAlign::Centre, false);
    }
    y += mmY(s.headerMargin);
    page.fills = std::move(header.fills);
    page.texts = std::move(header.texts);

    const int columnTop = y;
    const bool twoColumns = s.enableTwoColumn != 0;
    const int middle = pageWidth / 2;
    struct Column
    {
        int left;
        int right;
    };
    const Column columns[2] = {
        {left, twoColumns ? std::max(left + 1, middle - mmX(3)) : right},
        {std::min(middle + mmX(3), right - 1), right},
    };
    const int slotCount = std::max(1, s.albumSizeCount);
    const double slotHeight = std::max(1, bottom - columnTop) / static_cast<double>(slotCount);

    int column = 0;
    int slot = 0;
    bool firstInColumn = true;
    while (m_cursor < m_end) {
        const Album& album = m_albums[m_cursor];
        Block block = albumBlock(album, m_counter, columns[column].left, columns[column].right, y);
        if (block.bottom > bottom && !firstInColumn) {
            if (!twoColumns || column == 1)
                break; // the page is full: the album opens the next one
            column = 1;
            slot = 0;
            y = columnTop;
            firstInColumn = true;
            if (s.enableColumnSeparator)
                page.fills.push_back({{middle - mmX(0.2), columnTop,
                                       middle - mmX(0.2) + std::max(1, mmX(0.4)), bottom},
                                      0});
            block = albumBlock(album, m_counter, columns[column].left, columns[column].right, y);
        }
        page.fills.insert(page.fills.end(), block.fills.begin(), block.fills.end());
        page.texts.insert(page.texts.end(), block.texts.begin(), block.texts.end());
        page.albums.push_back({m_cursor,
                               m_counter,
                               column,
                               {columns[column].left, y, columns[column].right, block.bottom}});
        if (s.albumSize == 0) {
            y = block.bottom + mmY(s.albumSizeMargin);
        } else {
            // The next slot that starts at or below the block's end: equal distances whatever
            // the blocks' heights, and a block taller than a slot takes the slots it covers.
            const int covered =
                static_cast<int>(std::ceil((block.bottom - columnTop) / slotHeight - 1e-9));
            slot = std::max(slot + 1, covered);
            y = columnTop + static_cast<int>(std::lround(slot * slotHeight));
        }
        firstInColumn = false;
        ++m_counter;
        ++m_cursor;
    }
    return page;
}

std::vector<ReportPage> layoutReport(const AppSettings& settings, const ReportGeometry& geometry,
                                     const ReportMeasure& measure, const std::vector<Album>& albums,
                                     bool selection)
{
    ReportLayout layout(settings, geometry, measure, albums, selection);
    std::vector<ReportPage> pages;
    do {
        pages.push_back(layout.nextPage());
    } while (!layout.done());
    return pages;
}

int ReportPageRange::lower() const
{
    return std::min(from, to);
}

int ReportPageRange::upper() const
{
    return std::max(from, to);
}

bool ReportPageRange::contains(int page) const
{
    return all() || (page >= lower() && page <= upper());
}

int forEachPrintedPage(ReportLayout& layout, const ReportPageRange& range,
                       const std::function<bool(const ReportPage&)>& print)
{
    int printed = 0;
    do {
        const ReportPage page = layout.nextPage();
        if (range.contains(page.number)) {
            if (!print(page))
                return -1;
            ++printed;
        }
        if (!range.all() && page.number >= range.upper())
            break;
    } while (!layout.done());
    return printed;
}
