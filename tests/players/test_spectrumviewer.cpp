// The free-standing spectrum viewer over a sampling service of its own, and pictures of it at
// every size for people to look at.

#include "componenthost.h"
#include "engines/samplingservice.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "players/spectrumdisplay.h"
#include "players/spectrumviewer.h"
#include "support/testhome.h"
#include "ui/skinbutton.h"

#include <QDir>
#include <QPointer>
#include <QTest>

#include <cmath>

using componenttest::RecordingController;
using componenttest::spin;
using componenttest::TestHost;
using componenttest::waitFor;

namespace {

using ScriptedViewer = componenttest::ScriptedMenus<SpectrumViewer>;

class SpectrumViewerTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        host.settings().spectrumSize = 1;
        host.settings().spectrumEnabled = 1;
        service.start();
    }
    void TearDown() override
    {
        service.stop();
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }
    std::unique_ptr<ScriptedViewer> open()
    {
        auto v = std::make_unique<ScriptedViewer>(host, remote.handle(), &service);
        v->show();
        spin(20);
        return v;
    }
    void choose(ScriptedViewer& v, int data)
    {
        v.choice = data;
        QTest::mouseClick(v.menuButton(), Qt::LeftButton);
        spin(20);
    }

    TestHost host;
    RecordingController remote;
    // A hump that wanders across the bands as time goes on.
    engines::SpectrumService service{{[](std::int32_t* b, int) {
        static int t = 0;
        ++t;
        for (int i = 0; i < 20; ++i)
            b[i] = static_cast<std::int32_t>(
                80 * std::exp(-std::pow((i - 6 - 4 * std::sin(t / 10.0)) / 4.0, 2)) + 8);
        return 1;
    }}};
};

} // namespace

TEST_F(SpectrumViewerTest, FourSizesFromItsMenu)
{
    const QSize windows[] = {{159, 68}, {239, 92}, {357, 139}, {239, 139}};
    const QRect displays[] = {QRect(5, 19, 144, 25), QRect(5, 19, 224, 49), QRect(5, 19, 342, 96),
                              QRect(5, 19, 224, 96)};
    auto viewer = open();
    EXPECT_EQ(viewer->sizeIndex(), 1);
    EXPECT_EQ(viewer->windowTitle(), "Kolvo Spectrum Viewer");
    EXPECT_TRUE(viewer->display()->isRegistered());
    EXPECT_FALSE(service.isHeld());
    const QString dir = QStringLiteral(KOLVO_BIN_DIR "/../test-screenshots");
    QDir().mkpath(dir);
    for (int size : {0, 1, 2, 3}) {
        choose(*viewer, cmd::FirstSpectrumSize + size);
        EXPECT_EQ(viewer->sizeIndex(), size);
        EXPECT_EQ(viewer->size(), windows[size]) << size;
        EXPECT_EQ(viewer->display()->geometry(), displays[size]) << size;
        EXPECT_EQ(SpectrumViewer::displayRect(size), displays[size]);
        EXPECT_EQ(host.settings().spectrumSize, size);
        EXPECT_TRUE(viewer->display()->isAnimating()) << "a new display, sweeping first";
        EXPECT_EQ(viewer->display()->snapshotsShown(), 0);
        EXPECT_TRUE(viewer->display()->isRegistered());
        EXPECT_EQ(viewer->menuButton()->geometry().right(), viewer->width() - 6);
        // Past the start-up sweep, with bars showing.
        ASSERT_TRUE(waitFor([&] { return viewer->display()->snapshotsShown() > 5; }, 3000));
        viewer->grab().save(dir + QStringLiteral("/viewer-size%1.png").arg(size));
    }
    EXPECT_EQ(viewer->entries.join(QStringLiteral(", ")),
              "&Small Size, &Medium Size, &Large Size, &Tall Size, Spectrum Mode Select, Solid "
              "Bars, LED Bars, LED Bars with Peaks, Outline, Linear Amplitude, Always on &Top, "
              "Close");

    // The drawing mode from the menu's submenu, kept in its own setting.
    host.settings().spectrumMode = 0;
    choose(*viewer, 3);
    EXPECT_EQ(viewer->display()->drawingMode(), 3);
    EXPECT_EQ(host.settings().spectrumMode, 3);
    choose(*viewer, -1);
    EXPECT_EQ(viewer->sizeIndex(), 3) << "a menu closed without a choice changes nothing";
}

TEST_F(SpectrumViewerTest, AlwaysOnTopFromTheSettingAndTheMenu)
{
    host.settings().spectrumAlwaysOnTop = 1;
    auto viewer = open();
    EXPECT_TRUE(viewer->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(viewer->windowFlags() & Qt::Tool);
    choose(*viewer, 39441);
    EXPECT_FALSE(viewer->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(host.settings().spectrumAlwaysOnTop, 0);
    EXPECT_TRUE(viewer->isVisible());
    viewer.reset();
    auto again = open();
    EXPECT_FALSE(again->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(SpectrumViewerTest, ItsPositionIsKeptAndBroughtBackOntoTheWorkArea)
{
    const QRect area = DesktopWorkArea();
    {
        auto viewer = open();
        // Never placed: near the top-right corner.
        EXPECT_EQ(viewer->pos(), QPoint(area.right() + 1 - viewer->width() - 24, area.top() + 24));
        viewer->move(area.left() + 40, area.top() + 30);
        choose(*viewer, cmd::FirstSpectrumSize + 2); // a resize saves the position
        const Profile profile;
        EXPECT_EQ(profile.GetProfileInt("RemoteSpectrum", "Left", -1), area.left() + 40);
        EXPECT_EQ(profile.GetProfileInt("RemoteSpectrum", "Top", -1), area.top() + 30);
        viewer->move(area.left() + 50, area.top() + 60);
    }
    {
        auto viewer = open(); // destroying it saved the position
        EXPECT_EQ(viewer->pos(), QPoint(area.left() + 50, area.top() + 60));
    }
    {
        Profile profile;
        profile.WriteProfileInt("RemoteSpectrum", "Left", area.right() + 5000);
        profile.WriteProfileInt("RemoteSpectrum", "Top", area.top() - 300);
        profile.sync();
    }
    auto viewer = open();
    EXPECT_EQ(viewer->pos(), QPoint(area.right() + 1 - viewer->width(), area.top()))
        << "off the screen: brought back to its edge";
    EXPECT_EQ(SpectrumViewer::placeOnWorkArea({-500, 900}, {239, 92}, QRect(0, 0, 800, 600)),
              QPoint(0, 508));
}

TEST_F(SpectrumViewerTest, CloseTellsTheRemoteControlAndKeepsTheEffectorsDisplayRunning)
{
    // The Sound Effector's display in slot 0.
    Wnd effector;
    effector.resize(300, 80);
    SpectrumDisplay effectorDisplay(0, QRect(1, 2, 242, 50), &effector, 5207, 1, &service);
    effectorDisplay.Enable(true);
    effector.show();
    ASSERT_TRUE(effectorDisplay.isRegistered());

    QPointer<ScriptedViewer> viewer = open().release();
    ASSERT_TRUE(viewer->display()->isRegistered());
    choose(*viewer, cmd::Close);
    EXPECT_EQ(host.settings().spectrumEnabled, 0);
    ASSERT_TRUE(waitFor([&] { return viewer.isNull(); }, 2000)) << "deleted once it is closed";
    ASSERT_EQ(remote.messages.size(), 1u);
    EXPECT_EQ(remote.messages[0].msg, UM_SPECTRUM_VIEWER_CLOSED);
    EXPECT_FALSE(service.isHeld()) << "slot 0 still runs";
    const int shown = effectorDisplay.snapshotsShown();
    ASSERT_TRUE(waitFor([&] { return effectorDisplay.snapshotsShown() > shown + 3; }, 3000));

    // A viewer closed by the desktop behaves as Close does.
    host.settings().spectrumEnabled = 1;
    QPointer<ScriptedViewer> second = open().release();
    second->close();
    ASSERT_TRUE(waitFor([&] { return second.isNull(); }, 2000));
    EXPECT_EQ(host.settings().spectrumEnabled, 0);
    EXPECT_EQ(remote.messages.size(), 2u);

    effector.hide();
    EXPECT_TRUE(service.isHeld());
}
