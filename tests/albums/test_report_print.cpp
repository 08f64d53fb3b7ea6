// Printing the album report: measuring with real fonts, PDF files written by kolvo-cli and read
// back with poppler's tools (page count, text, the rendered title band), and the Print
// command's job, status window and messages.
#include "albumtesting.h"

#include "albums/reportprint.h"

#include <QFile>
#include <QPageSize>
#include <QPrinter>

#include <cstdio>
#include <regex>

namespace {

using ProgramRun = albumtest::Run;
using albumtest::run;

class ReportPrintTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        const Profile profile;
        LoadSettingsFrom(profile, settings);
    }
    void TearDown() override
    {
        setMessageBoxHook({});
        KolvoHomeTest::TearDown();
    }

    // CD albums "a01".."aNN" in the home's database: "Album NN" by "Artist NN", each with
    // `songs` songs of 3:05.
    void makeAlbums(int count, int songs)
    {
        for (int i = 1; i <= count; ++i) {
            char key[16], title[32], artist[32];
            std::snprintf(key, sizeof key, "a%02d", i);
            std::snprintf(title, sizeof title, "Album %02d", i);
            std::snprintf(artist, sizeof artist, "Artist %02d", i);
            Album a(AlbumKindCd);
            ASSERT_TRUE(a.Open(key, 0));
            a.setTitle(title);
            a.setArtist(artist);
            a.setExtendedInfo("Notes on album " + std::to_string(i) + "\rsecond line");
            for (int n = 1; n <= songs; ++n)
                a.AddSong("Song " + std::to_string(n), {}, 185000);
            ASSERT_TRUE(a.Save());
        }
    }

    ProgramRun cli(const QStringList& args) { return albumtest::cli(home(), args); }
    int pdfPages(const std::string& pdf)
    {
        const ProgramRun r = run("pdfinfo", {QString::fromStdString(pdf)});
        const size_t at = r.out.find("Pages:");
        return at == std::string::npos ? -1 : std::atoi(r.out.c_str() + at + 6);
    }
    std::string pdfText(const std::string& pdf, int page)
    {
        const QString n = QString::number(page);
        return run("pdftotext", {"-layout", "-f", n, "-l", n, QString::fromStdString(pdf), "-"})
            .out;
    }
    // Page 1 at 60 dots per inch.
    QImage pdfPicture(const std::string& pdf)
    {
        const QString prefix = QString::fromStdString(homePath("picture"));
        run("pdftoppm", {"-png", "-r", "60", "-f", "1", "-l", "1", "-singlefile",
                         QString::fromStdString(pdf), prefix});
        return QImage(prefix + QStringLiteral(".png"));
    }

    AppSettings settings;
};

bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(ReportPrintTest, MeasuringWithRealFonts)
{
    QImage device(8, 8, QImage::Format_RGB32);
    device.setDotsPerMeterX(23622); // 600 dots per inch
    device.setDotsPerMeterY(23622);
    const ReportDeviceMeasure measure(settings, &device);
    // A 10-point font at 600 dpi is about 83 units high; a line is a little more.
    const int line = measure.textHeight(ReportFont::AlbumTitle, "Any", 1000, false);
    EXPECT_GE(line, 83);
    EXPECT_LE(line, 130);
    EXPECT_GT(line, measure.textHeight(ReportFont::SongTitle, "Any", 1000, false))
        << "8 points are less than 10";
    EXPECT_EQ(measure.textHeight(ReportFont::AlbumTitle, "much text on one line", 10, false), line);
    EXPECT_GT(measure.textWidth(ReportFont::AlbumTitle, "1. "),
              measure.textWidth(ReportFont::AlbumTitle, "1."))
        << "the blank after the number counts";
    EXPECT_GT(measure.textWidth(ReportFont::AlbumTitle, "Wide"),
              measure.textWidth(ReportFont::AlbumSinger, "Wide"))
        << "bold and larger";

    // Wrapping: whole lines, more of them in a narrow band, and a break at each CR.
    const std::string words = "one two three four five six seven eight nine ten";
    const int wide = measure.textHeight(ReportFont::AlbumDesc, words, 100000, true);
    const int narrow = measure.textHeight(ReportFont::AlbumDesc, words, 400, true);
    EXPECT_EQ(measure.textHeight(ReportFont::AlbumDesc, "a\nb\nc", 100000, true), 3 * wide);
    EXPECT_GE(narrow, 4 * wide);
    EXPECT_EQ(measure.textHeight(ReportFont::AlbumDesc, std::string(200, 'x'), 400, true) % wide, 0)
        << "a word wider than the band is broken, in whole lines";
    EXPECT_GT(measure.textHeight(ReportFont::AlbumDesc, std::string(200, 'x'), 400, true), wide);
}

TEST_F(ReportPrintTest, KolvoCliWritesTheReportOfAllCdAlbums)
{
    makeAlbums(20, 5);
    // Four albums per column: two columns give eight a page, whatever the fonts measure.
    ASSERT_EQ(cli({"settings", "--set", "Print/AlbumSize=1"}).code, 0);
    const std::string pdf = homePath("two.pdf");
    ProgramRun r = cli({"cd", "report", QString::fromStdString(pdf), "--paper", "a4"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "3\n");
    EXPECT_EQ(pdfPages(pdf), 3);
    const std::string first = pdfText(pdf, 1);
    for (const char* part :
         {"Kolvo Audio CD Information Report (20 Albums)", "- Page 1 -", "1. Album 01", "Artist 01",
          "Notes on album 1", "1. Song 1 (3:05)", "8. Album 08"})
        EXPECT_TRUE(has(first, part)) << part << " in " << first;
    EXPECT_FALSE(has(first, "9. Album 09"));
    // Two columns: the fifth album sits beside the first, on the same line of text.
    EXPECT_TRUE(std::regex_search(first, std::regex("1\\. Album 01[^\n]*5\\. Album 05"))) << first;
    for (const char* part : {"- Page 3 -", "17. Album 17", "20. Album 20"})
        EXPECT_TRUE(has(pdfText(pdf, 3), part)) << part;

    // The white title on its black band: black across the printable width just inside the
    // band's top, white paper above it (20 mm margins are 47 pixels at 60 dpi).
    const QImage picture = pdfPicture(pdf);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width(), 496); // A4
    EXPECT_LT(qGray(picture.pixel(52, 49)), 40);
    EXPECT_LT(qGray(picture.pixel(440, 49)), 40);
    EXPECT_GT(qGray(picture.pixel(52, 42)), 215);
    EXPECT_GT(qGray(picture.pixel(40, 49)), 215) << "the band stops at the margin";
    // The separator between the columns, halfway down.
    const auto darkestInTheMiddle = [](const QImage& image) {
        int darkest = 255;
        for (int x = 245; x <= 251; ++x)
            darkest = std::min(darkest, qGray(image.pixel(x, 350)));
        return darkest;
    };
    EXPECT_LT(darkestInTheMiddle(picture), 128);

    // One column: four a page.
    ASSERT_EQ(cli({"settings", "--set", "Print/EnableTwoColumn=0"}).code, 0);
    const std::string single = homePath("one.pdf");
    r = cli({"cd", "report", QString::fromStdString(single), "--paper", "a4"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "5\n");
    EXPECT_EQ(pdfPages(single), 5);
    EXPECT_TRUE(has(pdfText(single, 2), "5. Album 05"));
    EXPECT_GT(darkestInTheMiddle(pdfPicture(single)), 215) << "no separator";

    // A page range, bounds in either order.
    const std::string range = homePath("range.pdf");
    r = cli({"cd", "report", QString::fromStdString(range), "--paper", "a4", "--pages", "3-2"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(pdfPages(range), 2);
    EXPECT_TRUE(has(pdfText(range, 1), "- Page 2 -"));
    EXPECT_TRUE(has(pdfText(range, 1), "5. Album 05"));
    EXPECT_TRUE(has(pdfText(range, 2), "- Page 3 -"));
}

TEST_F(ReportPrintTest, KolvoCliPrintsOneAlbum)
{
    makeAlbums(3, 99);
    const std::string pdf = homePath("album.pdf");
    const ProgramRun r = cli({"cd", "report", QString::fromStdString(pdf), "--album", "A02"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "1\n");
    const std::string text = pdfText(pdf, 1);
    for (const char* part : {"Kolvo Audio CD Information Report", "Album 02", "60. Song 60 (3:05)"})
        EXPECT_TRUE(has(text, part)) << part << " in " << text;
    for (const char* part : {"Albums)", "Page", "2. Album 02", "Album 01"})
        EXPECT_FALSE(has(text, part)) << part << ": no count, page or numbering, one album";
    // It runs past the bottom margin (47 pixels at 60 dpi) rather than onto another page.
    const QImage picture = pdfPicture(pdf);
    ASSERT_EQ(picture.height(), 702);
    int lowest = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 40; x < 250; ++x)
            if (qGray(picture.pixel(x, y)) < 128)
                lowest = y;
    EXPECT_GT(lowest, 702 - 47);
}

TEST_F(ReportPrintTest, KolvoCliMistakes)
{
    makeAlbums(1, 1);
    const struct
    {
        QStringList args;
        int code;
        const char* message;
    } cases[] = {
        {{"cd", "report"}, 2, "needs the PDF file"},
        {{"cd", "report", "x.pdf", "--pages", "0-2"}, 2, "--pages"},
        {{"cd", "report", "x.pdf", "--pages", "two"}, 2, "--pages"},
        {{"cd", "report", "x.pdf", "--paper", "napkin"}, 2, "unknown paper napkin"},
        {{"cd", "report", "x.pdf", "y.pdf"}, 2, "cd report takes"},
        {{"cd", "report", "x.pdf", "--album", "nothere"}, 1, "no CD album nothere"},
        {{"cd", "report", "/nonexistent/folder/x.pdf"}, 1, "cannot write"},
    };
    for (const auto& c : cases) {
        const ProgramRun r = cli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_TRUE(has(r.err, c.message)) << r.err;
    }
}

TEST_F(ReportPrintTest, NoAlbumsPrintsTheHeader)
{
    const std::string pdf = homePath("empty.pdf");
    ASSERT_EQ(printReportToPdf(pdf, settings, {}, false, {}, QPageSize(QPageSize::Letter)), 1);
    EXPECT_TRUE(has(pdfText(pdf, 1), "(0 Albums)"));
    EXPECT_EQ(pdfPicture(pdf).width(), 510) << "Letter";
}

namespace {

QWidget* statusWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("reportStatus") && w->isVisible())
            return w;
    return nullptr;
}

QStringList labelsOf(QWidget* window)
{
    QStringList texts;
    for (QLabel* label : window->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

} // namespace

TEST_F(ReportPrintTest, ThePrintCommand)
{
    makeAlbums(12, 8);
    std::vector<std::string> keys;
    for (const AlbumListEntry& e : Album(AlbumKindCd).ListAlbums())
        keys.push_back(e.key);
    ASSERT_EQ(keys.size(), 12u);
    QStringList messages;
    setMessageBoxHook([&](const QString&, const QString& text, MessageIcon, MessageButtons) {
        messages << text;
        return IDOK;
    });
    QWidget manager;
    manager.show();
    const auto printer = [this](const std::string& file) {
        auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(QString::fromStdString(homePath(file)));
        p->setPageSize(QPageSize(QPageSize::A4));
        return p;
    };

    // The selection option with nothing selected.
    auto p = printer("none.pdf");
    PrintAlbumReportOn(*p, {true, {}}, &manager, settings, keys, "");
    EXPECT_EQ(messages, QStringList{QStringLiteral("There is no selected Album.")});
    EXPECT_FALSE(QFile::exists(QString::fromStdString(homePath("none.pdf"))));

    // A whole job: the manager waits, the status window says where and which page.
    messages.clear();
    bool managerEnabled = true;
    QStringList shown;
    QTimer::singleShot(0, [&] {
        managerEnabled = manager.isEnabled();
        if (QWidget* status = statusWindow())
            shown << labelsOf(status);
        QTimer::singleShot(0, [&] {
            if (QWidget* status = statusWindow())
                shown << labelsOf(status);
        });
    });
    p = printer("all.pdf");
    PrintAlbumReportOn(*p, {false, {}}, &manager, settings, keys, keys[3]);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_FALSE(managerEnabled);
    EXPECT_TRUE(manager.isEnabled());
    EXPECT_EQ(statusWindow(), nullptr);
    EXPECT_TRUE(shown.contains(
        QStringLiteral("Printing to %1.").arg(QString::fromStdString(homePath("all.pdf")))))
        << shown.join('|').toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Page 1"))) << shown.join('|').toStdString();
    const int pages = pdfPages(homePath("all.pdf"));
    EXPECT_GE(pages, 2);
    EXPECT_TRUE(has(pdfText(homePath("all.pdf"), 1), "(12 Albums)"));

    // The selected album alone.
    p = printer("one.pdf");
    PrintAlbumReportOn(*p, {true, {}}, &manager, settings, keys, keys[3]);
    EXPECT_EQ(pdfPages(homePath("one.pdf")), 1);
    const std::string one = pdfText(homePath("one.pdf"), 1);
    EXPECT_TRUE(has(one, "Album 04")) << one;
    EXPECT_FALSE(has(one, "Album 05"));

    // Cancel in the status window: the job ends, the user is told, no half file stays.
    QTimer::singleShot(0, [] {
        if (QWidget* status = statusWindow())
            status->findChild<QPushButton*>(QStringLiteral("cancel"))->click();
    });
    p = printer("cancelled.pdf");
    PrintAlbumReportOn(*p, {false, {}}, &manager, settings, keys, "");
    EXPECT_EQ(messages, QStringList{QStringLiteral(
                            "User canceled print job or error occured during print job.")});
    EXPECT_FALSE(QFile::exists(QString::fromStdString(homePath("cancelled.pdf"))));
    EXPECT_TRUE(manager.isEnabled());

    // A printer that cannot be opened.
    messages.clear();
    p = printer("missing/folder/x.pdf");
    PrintAlbumReportOn(*p, {false, {}}, &manager, settings, keys, "");
    EXPECT_EQ(messages, QStringList{QStringLiteral("Can't start print job.")});
    EXPECT_TRUE(manager.isEnabled());
}
