// The report's page setup sheet: it shows the "Print" settings and takes the user's changes over
// on OK only (keeping them in the settings file is the settings' own round trip).
#include "albumtesting.h"

#include "albums/reportsetup.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QRadioButton>
#include <QSpinBox>

namespace {

class PageSetupTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        const Profile profile;
        LoadSettingsFrom(profile, settings);
    }

    template <typename T>
    static T* child(QWidget& sheet, const char* name)
    {
        T* widget = sheet.findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    AppSettings settings;
};

} // namespace

TEST_F(PageSetupTest, ShowsTheSettings)
{
    settings.pageMarginRight = 7;
    settings.enableSongTimeInfo = 0;
    settings.songDescFont = {0xFFFFFF, 1, 1, 11, "DejaVu Serif"};
    CPrintPropertySheet sheet(settings);
    for (const auto& [name, value] :
         {std::pair{"pageMarginLeft", 20}, {"pageMarginRight", 7}, {"headerMargin", 10}})
        EXPECT_EQ(child<QSpinBox>(sheet, name)->value(), value) << name;
    EXPECT_TRUE(child<QCheckBox>(sheet, "twoColumns")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(sheet, "songs")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(sheet, "songTimes")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(sheet, "gapSpacing")->isChecked());
    EXPECT_EQ(child<QSpinBox>(sheet, "albumSizeMargin")->value(), 10);
    EXPECT_EQ(child<QSpinBox>(sheet, "albumSizeCount")->value(), 4);
    EXPECT_FALSE(child<QSpinBox>(sheet, "albumSizeCount")->isEnabled());
    QLabel* sample = child<QLabel>(sheet, "songDescFont");
    EXPECT_EQ(sample->text(), QStringLiteral("DejaVu Serif, 11 pt, bold, italic"));
    EXPECT_EQ(sample->palette().color(QPalette::Window), QColor(Qt::black))
        << "white text is shown on black, as it prints";
    EXPECT_EQ(child<QLabel>(sheet, "titleFont")->text(), QStringLiteral("Arial, 10 pt, bold"));

    // The separator only means something with two columns; the slot count only with slots.
    QCheckBox* two = child<QCheckBox>(sheet, "twoColumns");
    two->setChecked(false);
    EXPECT_FALSE(child<QCheckBox>(sheet, "columnSeparator")->isEnabled());
    child<QRadioButton>(sheet, "slotSpacing")->setChecked(true);
    EXPECT_TRUE(child<QSpinBox>(sheet, "albumSizeCount")->isEnabled());
    EXPECT_FALSE(child<QSpinBox>(sheet, "albumSizeMargin")->isEnabled());
}

TEST_F(PageSetupTest, ChangesAreTakenOver)
{
    CPrintPropertySheet sheet(settings);
    child<QSpinBox>(sheet, "pageMarginLeft")->setValue(12);
    child<QSpinBox>(sheet, "pageMarginBottom")->setValue(31);
    child<QCheckBox>(sheet, "title")->setChecked(false);
    child<QCheckBox>(sheet, "columnSeparator")->setChecked(false);
    child<QCheckBox>(sheet, "albumDesc")->setChecked(false);
    child<QRadioButton>(sheet, "slotSpacing")->setChecked(true);
    child<QSpinBox>(sheet, "albumSizeCount")->setValue(3);

    QFont offered;
    sheet.setFontChooser([&](QFont& font, QWidget*) {
        offered = font;
        font = QFont(QStringLiteral("DejaVu Serif"));
        font.setPointSize(12);
        font.setItalic(true);
        return true;
    });
    sheet.setColorChooser([](QColor& color, QWidget*) {
        color = QColor(0x12, 0x34, 0x56);
        return true;
    });
    child<QPushButton>(sheet, "albumTitleFontButton")->click();
    EXPECT_EQ(offered.family(), QStringLiteral("Arial")) << "the dialog starts from the font";
    EXPECT_EQ(offered.pointSize(), 10);
    EXPECT_TRUE(offered.bold());
    child<QPushButton>(sheet, "pageFontColour")->click();
    EXPECT_EQ(child<QLabel>(sheet, "albumTitleFont")->text(),
              QStringLiteral("DejaVu Serif, 12 pt, italic"));
    // A chooser closed with Cancel changes nothing.
    sheet.setFontChooser([](QFont& font, QWidget*) {
        font = QFont(QStringLiteral("Nothing"));
        return false;
    });
    child<QPushButton>(sheet, "songTitleFontButton")->click();

    settings.timer = 4321; // not the sheet's
    sheet.applyTo(settings);
    // The timer, the margins left, bottom and top, the title, separator, album text and artist
    // switches, the spacing and the slot count.
    EXPECT_EQ((std::vector<int>{settings.timer, settings.pageMarginLeft, settings.pageMarginBottom,
                                settings.pageMarginTop, settings.enableTitleInfo,
                                settings.enableColumnSeparator, settings.enableAlbumDescInfo,
                                settings.enableAlbumSingerInfo, settings.albumSize,
                                settings.albumSizeCount}),
              (std::vector<int>{4321, 12, 31, 20, 0, 0, 0, 1, 1, 3}));
    const FontInfo& f = settings.albumTitleFont;
    EXPECT_EQ(f.fontName + ' ' + std::to_string(f.size) + ' ' + std::to_string(f.bold) + ' ' +
                  std::to_string(f.italic),
              "DejaVu Serif 12 0 1");
    EXPECT_EQ(settings.pageFont.color, 0x563412) << "stored as 0x00BBGGRR";
    EXPECT_EQ(settings.songTitleFont.fontName, "Arial");
}

TEST_F(PageSetupTest, AnEvenSpacingValueOtherThanOneIsKept)
{
    settings.albumSize = 2;
    CPrintPropertySheet sheet(settings);
    EXPECT_TRUE(child<QRadioButton>(sheet, "slotSpacing")->isChecked());
    sheet.applyTo(settings);
    EXPECT_EQ(settings.albumSize, 2);
    child<QRadioButton>(sheet, "gapSpacing")->setChecked(true);
    sheet.applyTo(settings);
    EXPECT_EQ(settings.albumSize, 0);
}

TEST_F(PageSetupTest, OkTakesTheValuesOverCancelDoesNot)
{
    const auto answer = [](bool ok) {
        QTimer::singleShot(0, [ok] {
            auto* sheet = qobject_cast<CPrintPropertySheet*>(QApplication::activeModalWidget());
            ASSERT_NE(sheet, nullptr);
            sheet->findChild<QSpinBox*>(QStringLiteral("pageMarginTop"))->setValue(33);
            auto* buttons = sheet->findChild<QDialogButtonBox*>();
            buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        });
    };
    answer(false);
    EXPECT_FALSE(EditPageSetup(nullptr, settings));
    EXPECT_EQ(settings.pageMarginTop, 20);
    answer(true);
    EXPECT_TRUE(EditPageSetup(nullptr, settings));
    EXPECT_EQ(settings.pageMarginTop, 33);
}
