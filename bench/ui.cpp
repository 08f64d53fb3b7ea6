// The skinned interface's two costs that a user feels, each beside a peer measured in the same
// run:
//  - repainting a whole component panel (background, the 13 buttons of the players' row and the
//    display panel with its digit displays, track grid and slider), against the same panel
//    made of stock Qt widgets (tool buttons, LCD numbers, a slider, a label) painted the same
//    way;
//  - loading a skin file (GoldEn.uib, every slot in single and double resolution), against Qt
//    decoding the same 56 images from the BMP files they were packed from.
#include "ui/buttons.h"
#include "ui/displaypanel.h"
#include "ui/skin.h"
#include "ui/skinpanel.h"
#include "ui/skinslider.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QImage>
#include <QLCDNumber>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double medianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

std::unique_ptr<SkinPanel> skinnedPanel()
{
    auto panel = std::make_unique<SkinPanel>(skin::kPanelBackground, true);
    // The players' shared row: the first 13 records of every player's table.
    std::vector<ButtonDescriptor> row(buttons::kCdPlayer, buttons::kCdPlayer + 13);
    row.push_back(ButtonDescriptor{-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, kNoFace, kNoFace});
    panel->createButtons(row.data());
    auto* display = new DisplayPanel(ComponentAudio,
                                     QRect(QPoint(40, 4), DisplayPanel::kDefaultSize), panel.get());
    AlbumView album;
    album.songCount = 24;
    album.currentSong = 7;
    album.currentSongLengthMs = 245000;
    album.tracks.resize(24);
    display->SetState(kModePlaying);
    display->SetEffectActive(true);
    display->Update(album, 83, 0, true);
    display->positionSlider()->SetPos(83);
    display->SetInfoText("File : Harbour Lights.mp3        Harbour Lights - The Quay");
    return panel;
}

std::unique_ptr<QWidget> stockPanel()
{
    auto panel = std::make_unique<QWidget>();
    panel->resize(500, 100);
    std::vector<ButtonDescriptor> row(buttons::kCdPlayer, buttons::kCdPlayer + 13);
    for (const ButtonDescriptor& d : row) {
        auto* b = new QToolButton(panel.get());
        b->setGeometry(d.x, d.y, d.width, d.height);
        b->setText(QStringLiteral("\u25b6"));
    }
    auto* box = new QFrame(panel.get());
    box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    box->setGeometry(40, 4, 280, 60);
    box->setStyleSheet(QStringLiteral("background: black; color: orange"));
    auto* track = new QLCDNumber(2, box);
    track->setGeometry(37, 12, 26, 18);
    track->display(7);
    auto* time = new QLCDNumber(7, box);
    time->setGeometry(65, 18, 73, 12);
    time->display(QStringLiteral("0:01:23"));
    auto* text = new QLabel(QStringLiteral("File : Harbour Lights.mp3"), box);
    text->setGeometry(38, 36, 238, 15);
    auto* slider = new QSlider(Qt::Horizontal, box);
    slider->setGeometry(4, 50, 266, 8);
    slider->setValue(30);
    return panel;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString uib = QStringLiteral(KOLVO_BIN_DIR "/../share/kolvo/uib/GoldEn.uib");
    const QString slotDir = QStringLiteral(KOLVO_BIN_DIR "/../skin-slots/GoldEn");

    // Loading.
    Skin& skin = Skin::instance();
    skin.LoadSkin(uib.toStdString());
    if (skin.usingBuiltin()) {
        std::fprintf(stderr, "ui: %s is missing or refused\n", qPrintable(uib));
        return 1;
    }
    const double loadMs = medianMs(25, [&] { skin.LoadSkin(uib.toStdString()); });
    const double qtLoadMs = medianMs(25, [&] {
        for (int i = 0; i < skin::kSlotCount; ++i) {
            const QString base =
                slotDir + QStringLiteral("/slot%1").arg(i, 2, 10, QLatin1Char('0'));
            QImage one(base + QStringLiteral(".bmp"));
            QImage two(base + QStringLiteral("@2x.bmp"));
            if (one.isNull() || two.isNull())
                std::abort();
        }
    });

    // Repainting.
    auto ours = skinnedPanel();
    auto peer = stockPanel();
    for (QWidget* w : {static_cast<QWidget*>(ours.get()), peer.get()}) {
        w->setAttribute(Qt::WA_DontShowOnScreen);
        w->show();
    }
    QImage canvas(500, 100, QImage::Format_RGB32);
    for (int i = 0; i < 20; ++i) { // warm caches up
        ours->render(&canvas);
        peer->render(&canvas);
    }
    const double paintMs = medianMs(300, [&] { ours->render(&canvas); });
    const double stockMs = medianMs(300, [&] { peer->render(&canvas); });

    std::printf("component panel repaint: skinned %.3f ms, stock Qt widgets %.3f ms, ratio %.2f "
                "(goal < 1 ms)\n",
                paintMs, stockMs, paintMs / stockMs);
    std::printf("skin file load (GoldEn.uib, 56 images): %.2f ms, Qt reading the same BMP files "
                "%.2f ms, ratio %.2f (goal < 20 ms)\n",
                loadMs, qtLoadMs, loadMs / qtLoadMs);
    return (paintMs < 1.0 && loadMs < 20.0) ? 0 : 1;
}
