#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "app/splashwnd.h"
#include "platform/paths.h"
#include "support/testhome.h"

#include <QSettings>
#include <QTest>

#include <map>

// A saved rectangle is kept on the work area; with less than twenty pixels of it showing, the
// window comes centred.
TEST(MainWindowRect, TheSavedRectangleIsKeptOnTheWorkAreaOrCentred)
{
    const QRect area(0, 0, 1920, 1040);
    const QRect saved(QPoint(100, 200), QPoint(599, 349));
    EXPECT_EQ(MainController::initialRect(saved, area), saved);
    EXPECT_EQ(MainController::initialRect(QRect(QPoint(1800, 100), QPoint(2299, 199)), area),
              QRect(QPoint(1800, 100), QPoint(1919, 199)))
        << "partly off the right edge: what shows is kept";
    const QRect centred((1920 - 500) / 2, 0, 500, 100);
    EXPECT_EQ(MainController::initialRect(QRect(), area), centred) << "nothing saved yet";
    EXPECT_EQ(MainController::initialRect(QRect(QPoint(1901, 100), QPoint(2400, 199)), area),
              centred)
        << "19 pixels showing";
    EXPECT_EQ(
        MainController::initialRect(QRect(QPoint(1900, 100), QPoint(2399, 199)), area).width(), 20);
    EXPECT_EQ(MainController::initialRect(QRect(QPoint(100, 1030), QPoint(599, 1130)), area),
              centred);
    // A work area that does not start at 0 (a panel on the left): the odd formula is kept.
    const QRect shifted(64, 0, 1856, 1080);
    EXPECT_EQ(MainController::initialRect(QRect(), shifted).left(), (1919 + 1 - 64 - 500) / 2);
}

using SplashTest = KolvoHomeTest;

TEST_F(SplashTest, AnyPressRemovesTheSplashAndStillArrives)
{
    PlayerApp app;
    app.LoadSettings();
    app.splashFlag = true;
    qApp->installEventFilter(&app);
    QWidget target;
    target.show();
    new SplashWnd(&target);
    ASSERT_TRUE(SplashWnd::isShown());

    struct Counter : QObject
    {
        std::map<QEvent::Type, int> seen;
        bool eventFilter(QObject*, QEvent* e) override { return ++seen[e->type()] < 0; }
    } counter;
    target.installEventFilter(&counter);
    QTest::keyClick(&target, Qt::Key_A);
    EXPECT_FALSE(SplashWnd::isShown());
    EXPECT_EQ(counter.seen[QEvent::KeyPress], 1)
        << "the key that removed the splash is still delivered";

    // A mouse press anywhere does the same.
    new SplashWnd(&target);
    ASSERT_TRUE(SplashWnd::isShown());
    QTest::mousePress(&target, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&target, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(SplashWnd::isShown());
    EXPECT_EQ(counter.seen[QEvent::MouseButtonPress], 1)
        << "the click that removed the splash is still delivered";
    qApp->removeEventFilter(&app);
}

TEST_F(SplashTest, TheSplashGoesByItselfAfterThreeSeconds)
{
    QWidget main;
    new SplashWnd(&main);
    ASSERT_TRUE(SplashWnd::isShown());
    QTest::qWait(2500);
    EXPECT_TRUE(SplashWnd::isShown());
    QTRY_VERIFY_WITH_TIMEOUT(!SplashWnd::isShown(), 1500);
}

TEST_F(SplashTest, TheMainWindowSavesItsRectangleWhenDestroyed)
{
    PlayerApp app;
    app.LoadSettings();
    {
        MainController w(app, {});
        EXPECT_EQ(w.width(), 500);
        EXPECT_EQ(w.height(), 50) << "the strip alone while no component exists";
        EXPECT_TRUE(w.isVisible());
        w.move(37, 41);
        w.destroyWindow();
    }
    QSettings s(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
    QStringList saved;
    for (const char* name : {"PosX", "PosY", "PosX2", "PosY2"})
        saved << s.value(QString("MainController/") + name).toString();
    EXPECT_EQ(saved.join(' '), "37 41 537 91");
}
