// The album report's page layout, measured with a fixed-pitch stand-in for the printer fonts so
// that every position can be worked out by hand.
#include "albumtesting.h"

#include "albums/reportlayout.h"

#include <cmath>
#include <map>

namespace {

// A line is 8 units per point of the font's size tall; a character is 5 units per point wide.
// Wrapped text breaks after as many characters as fit, paragraph by paragraph.
class FixedPitch : public ReportMeasure
{
public:
    explicit FixedPitch(const AppSettings& s)
        : m_settings(s)
    {}
    int lineHeight(ReportFont f) const { return 8 * reportFontInfo(m_settings, f).size; }
    int charWidth(ReportFont f) const { return 5 * reportFontInfo(m_settings, f).size; }
    int lines(ReportFont f, const std::string& text, int width) const
    {
        const int perLine = std::max(1, width / charWidth(f));
        int count = 0;
        size_t start = 0;
        while (true) {
            const size_t end = text.find('\n', start);
            const size_t length = (end == std::string::npos ? text.size() : end) - start;
            count += std::max<int>(1, (static_cast<int>(length) + perLine - 1) / perLine);
            if (end == std::string::npos)
                return count;
            start = end + 1;
        }
    }
    int textHeight(ReportFont f, const std::string& text, int width, bool wrap) const override
    {
        return lineHeight(f) * (wrap ? lines(f, text, width) : 1);
    }
    int textWidth(ReportFont f, const std::string& text) const override
    {
        return charWidth(f) * static_cast<int>(text.size());
    }

private:
    const AppSettings& m_settings;
};

// A4 at 600 dots per inch.
constexpr ReportGeometry kA4{4961, 7016, 600, 600};

int mm(double millimetres)
{
    return static_cast<int>(std::lround(std::lround(millimetres * 100) * 600 / 2540.0));
}

Album makeAlbum(const std::string& title, int songs, const std::string& artist = "Artist",
                const std::string& description = {})
{
    Album a(AlbumKindCd);
    a.setTitle(title);
    a.setArtist(artist);
    a.setExtendedInfo(description);
    for (int n = 1; n <= songs; ++n)
        a.AddSong("Song " + std::to_string(n), {}, 185000);
    return a;
}

class ReportLayoutTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        const Profile profile;
        LoadSettingsFrom(profile, s);
    }

    std::vector<ReportPage> layout(const std::vector<Album>& albums, bool selection = false)
    {
        return layoutReport(s, kA4, measure, albums, selection);
    }
    const ReportText* findText(const ReportPage& page, const std::string& text)
    {
        for (const ReportText& t : page.texts)
            if (t.text == text)
                return &t;
        return nullptr;
    }
    // The text on the page, or a failure and a blank text.
    const ReportText& textOn(const ReportPage& page, const std::string& text)
    {
        static const ReportText none{};
        const ReportText* t = findText(page, text);
        if (!t)
            ADD_FAILURE() << "no text \"" << text << "\" on the page";
        return t ? *t : none;
    }
    // The height of an album block as laid out with the defaults: title, artist, 1 mm, songs.
    int blockHeight(int songs) const
    {
        return measure.lineHeight(ReportFont::AlbumTitle) +
               measure.lineHeight(ReportFont::AlbumSinger) + mm(1) +
               songs * measure.lineHeight(ReportFont::SongTitle);
    }
    int columnTop() const
    {
        return mm(20) + measure.lineHeight(ReportFont::Title) + mm(1) + mm(2) +
               measure.lineHeight(ReportFont::Page) + mm(10);
    }
    int columnBottom() const { return kA4.pageHeight - mm(20); }

    AppSettings s;
    FixedPitch measure{s};
};

} // namespace

TEST_F(ReportLayoutTest, HeaderWithTheDefaults)
{
    const std::vector<ReportPage> pages = layout({makeAlbum("One", 2)});
    ASSERT_EQ(pages.size(), 1u);
    const ReportPage& page = pages[0];
    EXPECT_EQ(page.number, 1);

    // The title is white on a black band 1 mm taller than the text, across the margins.
    const ReportText& title = textOn(page, "Kolvo Audio CD Information Report (1 Albums)");
    const int titleHeight = measure.lineHeight(ReportFont::Title);
    const ReportRect band{mm(20), mm(20), kA4.pageWidth - mm(20), mm(20) + titleHeight + mm(1)};
    EXPECT_EQ(std::tie(title.color, title.align, title.wrap, title.rect),
              std::make_tuple(0xFFFFFF, ReportAlign::Centre, false, band))
        << "one line, centred in the band";
    ASSERT_FALSE(page.fills.empty());
    EXPECT_EQ(std::tie(page.fills[0].rect, page.fills[0].color), std::make_tuple(band, 0));

    const ReportText& number = textOn(page, "- Page 1 -");
    EXPECT_EQ(number.rect.top, band.bottom + mm(2));
    EXPECT_EQ(number.rect.height(), measure.lineHeight(ReportFont::Page));
    EXPECT_EQ(std::tie(number.align, number.color), std::make_tuple(ReportAlign::Centre, 0));

    ASSERT_EQ(page.albums.size(), 1u);
    EXPECT_EQ(page.albums[0].block.top, columnTop());
    EXPECT_EQ(page.albums[0].block.left, mm(20));
    EXPECT_EQ(page.albums[0].block.right, kA4.pageWidth / 2 - mm(3)) << "two columns";
    EXPECT_EQ(page.albums[0].block.height(), blockHeight(2));
    EXPECT_EQ(page.fills.size(), 1u) << "no separator while the second column is empty";

    // Without the title and the page number the columns start below the top margin.
    s.enableTitleInfo = 0;
    s.enablePageInfo = 0;
    const ReportPage bare = layout({makeAlbum("One", 2)})[0];
    EXPECT_TRUE(bare.fills.empty());
    ASSERT_EQ(bare.texts.size(), 2u + 4u) << "album title, artist, two songs of two texts";
    EXPECT_EQ(bare.albums[0].block.top, mm(20) + mm(10));
}

TEST_F(ReportLayoutTest, AlbumBlockTexts)
{
    Album a = makeAlbum("Blue", 0, "", "First line\rsecond line");
    a.AddSong("Intro", "Recorded live\rin one take", 65000);
    a.AddSong("", {}, 0);
    a.AddSong("Outro", {}, 3723000);
    const ReportPage page = layout({makeAlbum("Zero", 0), a})[0];
    ASSERT_EQ(page.albums.size(), 2u);
    const ReportRect block = page.albums[1].block;
    const int x = block.left;
    const int indent = measure.textWidth(ReportFont::AlbumTitle, "2. ");

    const ReportText& title = textOn(page, "2. Blue");
    EXPECT_EQ(title.rect, (ReportRect{x, block.top, block.right,
                                      block.top + measure.lineHeight(ReportFont::AlbumTitle)}));
    const ReportText& artist = textOn(page, "Unknown"); // an album without artist
    EXPECT_EQ(artist.rect.left, x + indent);
    EXPECT_EQ(artist.rect.top, title.rect.bottom);
    const ReportText& desc = textOn(page, "First line\nsecond line"); // CR breaks the line
    EXPECT_TRUE(desc.wrap);
    EXPECT_EQ(desc.rect.top, artist.rect.bottom);
    EXPECT_EQ(desc.rect.height(), 2 * measure.lineHeight(ReportFont::AlbumDesc));

    const ReportText& intro = textOn(page, "Intro (1:05)");
    EXPECT_EQ(intro.rect.top, desc.rect.bottom + mm(1));
    EXPECT_EQ(intro.rect.left, x + indent);
    const ReportText& one = textOn(page, " 1. ");
    EXPECT_EQ(one.rect, (ReportRect{x, intro.rect.top, x + indent, intro.rect.bottom}));
    EXPECT_EQ(one.align, ReportAlign::Right);
    const ReportText& songDesc = textOn(page, "Recorded live\nin one take");
    EXPECT_EQ(songDesc.rect.top, intro.rect.bottom);
    EXPECT_EQ(songDesc.font, ReportFont::SongDesc);
    const ReportText& untitled = textOn(page, "Track 2"); // a song without title or length
    EXPECT_EQ(untitled.rect.top, songDesc.rect.bottom + mm(0.5));
    EXPECT_NE(findText(page, "Outro (62:03)"), nullptr) << "minutes go past 59";
    EXPECT_EQ(block.bottom, untitled.rect.bottom + measure.lineHeight(ReportFont::SongTitle));

    // The empty album: "Untitled", its artist, 1 mm and nothing more.
    EXPECT_NE(findText(page, "1. Zero"), nullptr);
    EXPECT_EQ(page.albums[0].block.height(), blockHeight(0));
    EXPECT_EQ(block.top, page.albums[0].block.bottom + mm(10)) << "the album gap";

    Album none(AlbumKindCd);
    const ReportPage empty = layout({none})[0];
    EXPECT_NE(findText(empty, "1. Untitled"), nullptr);

    // Switched off, each part goes.
    s.enableAlbumNumbering = 0;
    s.enableAlbumSingerInfo = 0;
    s.enableAlbumDescInfo = 0;
    s.enableSongTimeInfo = 0;
    s.enableSongDescInfo = 0;
    const ReportPage plain = layout({a})[0];
    EXPECT_NE(findText(plain, "Blue"), nullptr);
    EXPECT_EQ(findText(plain, "Unknown"), nullptr);
    EXPECT_EQ(findText(plain, "First line\nsecond line"), nullptr);
    EXPECT_NE(findText(plain, "Intro"), nullptr);
    EXPECT_EQ(findText(plain, "Recorded live\nin one take"), nullptr);
    s.enableSongInfo = 0;
    const ReportPage titleOnly = layout({a})[0];
    EXPECT_EQ(titleOnly.albums[0].block.height(), measure.lineHeight(ReportFont::AlbumTitle));
    EXPECT_EQ(findText(titleOnly, " 1. "), nullptr);
}

TEST_F(ReportLayoutTest, TwoColumnsFillDownThenAcrossThenOnToTheNextPage)
{
    std::vector<Album> albums;
    for (int i = 1; i <= 40; ++i)
        albums.push_back(makeAlbum("Album " + std::to_string(i), 10));
    const int step = blockHeight(10) + mm(10);
    const int perColumn = (columnBottom() - columnTop() + mm(10)) / step;
    ASSERT_GE(perColumn, 2);

    const std::vector<ReportPage> pages = layout(albums);
    const int perPage = 2 * perColumn;
    ASSERT_EQ(pages.size(), static_cast<size_t>((40 + perPage - 1) / perPage));
    int counter = 1;
    for (const ReportPage& page : pages) {
        EXPECT_NE(findText(page, "- Page " + std::to_string(page.number) + " -"), nullptr);
        for (size_t i = 0; i < page.albums.size(); ++i) {
            const ReportPlacement& p = page.albums[i];
            EXPECT_EQ(p.number, counter) << "albums in order, none lost or repeated";
            EXPECT_EQ(p.album, static_cast<size_t>(counter - 1));
            EXPECT_LE(p.block.bottom, columnBottom());
            const int row = static_cast<int>(i) % perColumn;
            EXPECT_EQ(p.column, static_cast<int>(i) / perColumn);
            EXPECT_EQ(p.block.top, columnTop() + row * step);
            EXPECT_EQ(p.block.left, p.column == 0 ? mm(20) : kA4.pageWidth / 2 + mm(3));
            EXPECT_NE(
                findText(page, std::to_string(counter) + ". Album " + std::to_string(counter)),
                nullptr);
            ++counter;
        }
    }
    EXPECT_EQ(counter, 41);
    // The separator: 0.4 mm at the middle, from the column top to the bottom margin.
    const ReportFill& bar = pages[0].fills.back();
    EXPECT_EQ(bar.rect, (ReportRect{kA4.pageWidth / 2 - mm(0.2), columnTop(),
                                    kA4.pageWidth / 2 - mm(0.2) + mm(0.4), columnBottom()}));
    s.enableColumnSeparator = 0;
    EXPECT_EQ(layout(albums)[0].fills.size(), 1u) << "only the title band";

    // One column: the same albums, half as many per page, across the whole printable width.
    s.enableTwoColumn = 0;
    const std::vector<ReportPage> single = layout(albums);
    EXPECT_EQ(single.size(), static_cast<size_t>((40 + perColumn - 1) / perColumn));
    for (const ReportPage& page : single) {
        EXPECT_EQ(page.fills.size(), 1u);
        for (const ReportPlacement& p : page.albums) {
            EXPECT_EQ(p.column, 0);
            EXPECT_EQ(p.block.left, mm(20));
            EXPECT_EQ(p.block.right, kA4.pageWidth - mm(20));
        }
    }
    EXPECT_EQ(single[1].albums.front().number, perColumn + 1);
}

TEST_F(ReportLayoutTest, FixedNumberOfAlbumsPerColumn)
{
    s.albumSize = 1;
    s.albumSizeCount = 4;
    std::vector<Album> albums;
    for (int i = 0; i < 10; ++i)
        albums.push_back(makeAlbum("A" + std::to_string(i), i % 3 * 4));
    const std::vector<ReportPage> pages = layout(albums);
    ASSERT_EQ(pages.size(), 2u);
    ASSERT_EQ(pages[0].albums.size(), 8u) << "four per column whatever their heights";
    const double slot = (columnBottom() - columnTop()) / 4.0;
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(pages[0].albums[i].column, static_cast<int>(i / 4));
        EXPECT_EQ(pages[0].albums[i].block.top,
                  columnTop() + static_cast<int>(std::lround(i % 4 * slot)));
    }
    EXPECT_EQ(pages[1].albums.size(), 2u);

    // A block taller than a slot takes the slots it covers rather than being overlapped.
    albums[1] = makeAlbum("Long", 40);
    ASSERT_GT(blockHeight(40), slot);
    ASSERT_LT(blockHeight(40), 2 * slot);
    const ReportPage first = layout(albums)[0];
    EXPECT_EQ(first.albums[2].block.top, columnTop() + static_cast<int>(std::lround(3 * slot)));
    EXPECT_EQ(first.albums[3].column, 1);

    // Back to gaps: a gap of 0 packs the blocks.
    s.albumSize = 0;
    s.albumSizeMargin = 0;
    const ReportPage packed = layout(albums)[0];
    EXPECT_EQ(packed.albums[1].block.top, packed.albums[0].block.bottom);
}

TEST_F(ReportLayoutTest, AnAlbumTallerThanAColumnRunsPastTheBottom)
{
    const std::vector<ReportPage> pages =
        layout({makeAlbum("Short", 3), makeAlbum("Big", 99), makeAlbum("After", 1)});
    ASSERT_GT(blockHeight(99), columnBottom() - columnTop());
    ASSERT_EQ(pages.size(), 2u);
    const ReportPage& page = pages[0];
    ASSERT_EQ(page.albums.size(), 2u);
    EXPECT_EQ(page.albums[1].column, 1) << "it moves on to the next column's top";
    EXPECT_EQ(page.albums[1].block.top, columnTop());
    EXPECT_EQ(page.albums[1].block.height(), blockHeight(99));
    EXPECT_GT(page.albums[1].block.bottom, columnBottom());
    EXPECT_NE(findText(page, "99. "), nullptr);
    EXPECT_NE(findText(page, " 9. "), nullptr);
    EXPECT_NE(findText(page, "Song 99 (3:05)"), nullptr);
    ASSERT_EQ(pages[1].albums.size(), 1u) << "nothing goes below it";
    EXPECT_EQ(pages[1].albums[0].number, 3);

    // Alone in one column, it fills one page and the next album starts the next.
    s.enableTwoColumn = 0;
    const std::vector<ReportPage> single =
        layout({makeAlbum("Big", 99), makeAlbum("Big too", 99), makeAlbum("After", 1)});
    ASSERT_EQ(single.size(), 3u);
    EXPECT_EQ(single[1].albums[0].number, 2);
    EXPECT_EQ(single[1].albums[0].block.top, columnTop());
    EXPECT_EQ(single[2].albums[0].number, 3);
}

TEST_F(ReportLayoutTest, LongTitlesStayOnOneLineAndLongTextsWrap)
{
    const std::string longTitle(300, 'W');
    Album a = makeAlbum(longTitle, 0,
                        "An artist with a name longer than any column could hold "
                        "on one line of the report at all",
                        std::string(500, 'x') + " and more words");
    a.AddSong(longTitle, std::string(400, 'y'), 1000);
    const ReportPage page = layout({a})[0];
    const int right = kA4.pageWidth / 2 - mm(3);
    for (const ReportText& t : page.texts) {
        if (t.font == ReportFont::Title || t.font == ReportFont::Page)
            continue;
        EXPECT_LE(t.rect.right, right) << "clipped to its column: " << t.text;
        if (!t.wrap) {
            EXPECT_EQ(t.rect.height(), measure.lineHeight(t.font)) << t.text;
        }
    }
    const ReportText& desc = textOn(page, std::string(500, 'x') + " and more words");
    EXPECT_EQ(desc.rect.height(),
              measure.lines(ReportFont::AlbumDesc, desc.text, desc.rect.width()) *
                  measure.lineHeight(ReportFont::AlbumDesc));
    EXPECT_GT(desc.rect.height(), 5 * measure.lineHeight(ReportFont::AlbumDesc));
    EXPECT_NE(findText(page, longTitle + " (0:01)"), nullptr);
}

TEST_F(ReportLayoutTest, WhiteTextOfAnyKindGetsItsBand)
{
    s.songDescFont.color = 0xFFFFFF;
    s.albumSingerFont.color = 0x00FFFFFF | 0x7F000000; // only the colour bits count
    s.titleFont.color = 0xFFFFFE;                      // nearly white is not white
    Album a = makeAlbum("A", 0);
    a.AddSong("S", "Notes", 0);
    const ReportPage page = layout({a})[0];
    EXPECT_EQ(findText(page, "Kolvo Audio CD Information Report (1 Albums)")->color, 0xFFFFFE);
    const ReportText& notes = textOn(page, "Notes");
    const ReportText& song = textOn(page, "S");
    const int band = measure.lineHeight(ReportFont::SongDesc) + mm(1);
    EXPECT_EQ(notes.rect.top, song.rect.bottom + mm(0.5)) << "wrapped text starts lower";
    const ReportText& artist = textOn(page, "Artist");
    EXPECT_EQ(artist.rect.height(), measure.lineHeight(ReportFont::AlbumSinger) + mm(1))
        << "one line is centred in the whole band";
    int bands = 0;
    for (const ReportFill& f : page.fills) {
        EXPECT_EQ(f.color, 0);
        if (f.rect == ReportRect{notes.rect.left, song.rect.bottom, notes.rect.right,
                                 song.rect.bottom + band})
            ++bands;
        if (f.rect == artist.rect)
            ++bands;
    }
    EXPECT_EQ(bands, 2);
    EXPECT_EQ(page.fills.size(), 2u);
    EXPECT_EQ(page.albums[0].block.bottom, song.rect.bottom + band + mm(0.5));
}

TEST_F(ReportLayoutTest, SelectionPrintsOneAlbumWithoutNumbers)
{
    const ReportPage page = layout({makeAlbum("Chosen", 2), makeAlbum("Other", 2)}, true).at(0);
    EXPECT_NE(findText(page, "Kolvo Audio CD Information Report"), nullptr);
    EXPECT_NE(findText(page, "Chosen"), nullptr);
    EXPECT_EQ(findText(page, "Other"), nullptr);
    for (const ReportText& t : page.texts)
        EXPECT_EQ(t.text.find("Page"), std::string::npos);
    ASSERT_EQ(page.albums.size(), 1u);
    EXPECT_EQ(page.albums[0].block.top,
              mm(20) + measure.lineHeight(ReportFont::Title) + mm(1) + mm(10))
        << "no page number line, and no 2 mm for it";
    const ReportText& artist = textOn(page, "Artist");
    EXPECT_EQ(artist.rect.left, mm(20) + 300) << "300 printer units, whatever the resolution";
}

TEST_F(ReportLayoutTest, NoAlbumsIsOnePageOfHeader)
{
    const std::vector<ReportPage> pages = layout({});
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(pages[0].albums.empty());
    EXPECT_NE(findText(pages[0], "Kolvo Audio CD Information Report (0 Albums)"), nullptr);
    EXPECT_NE(findText(pages[0], "- Page 1 -"), nullptr);
}

TEST_F(ReportLayoutTest, PageRanges)
{
    s.enableTwoColumn = 0;
    s.albumSize = 1;
    s.albumSizeCount = 2;
    std::vector<Album> albums;
    for (int i = 0; i < 9; ++i)
        albums.push_back(makeAlbum("A" + std::to_string(i), 1));
    const auto run = [&](ReportPageRange range, std::vector<int>* firstAlbums = nullptr,
                         int stopAt = 0) {
        ReportLayout layout(s, kA4, measure, albums);
        std::vector<int> printed;
        const int result = forEachPrintedPage(layout, range, [&](const ReportPage& page) {
            printed.push_back(page.number);
            if (firstAlbums)
                firstAlbums->push_back(page.albums.at(0).number);
            return page.number != stopAt;
        });
        if (result >= 0) {
            EXPECT_EQ(result, static_cast<int>(printed.size()));
        }
        return printed;
    };
    EXPECT_EQ(run({}), (std::vector<int>{1, 2, 3, 4, 5}));
    std::vector<int> first;
    EXPECT_EQ(run({3, 2}, &first), (std::vector<int>{2, 3})) << "bounds in either order";
    EXPECT_EQ(first, (std::vector<int>{3, 5})) << "the range starts with the right album";
    EXPECT_EQ(run({1, 1}), (std::vector<int>{1}));
    EXPECT_EQ(run({4, 999}), (std::vector<int>{4, 5})) << "the report ends before the bound";
    EXPECT_EQ(run({7, 9}), (std::vector<int>{}));
    EXPECT_EQ(run({}, nullptr, 2), (std::vector<int>{1, 2})) << "a stop ends the run";

    ReportLayout layout(s, kA4, measure, albums);
    EXPECT_EQ(forEachPrintedPage(layout, {}, [](const ReportPage&) { return false; }), -1);
}
