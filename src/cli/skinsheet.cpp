#include "cli/skinsheet.h"

#include "platform/strings.h"
#include "platform/text.h"
#include "ui/buttons.h"
#include "ui/digitdisplay.h"
#include "ui/displaypanel.h"
#include "ui/pixelfont.h"
#include "ui/skin.h"
#include "ui/skinbutton.h"
#include "ui/skinfile.h"
#include "ui/skinpanel.h"
#include "ui/skinslider.h"

#include <QApplication>
#include <QFileInfo>
#include <QPainter>

#include <memory>

namespace {

const QColor kSheet(0x26, 0x28, 0x2d);
const QColor kInk(0xd8, 0xdc, 0xe2);
const QColor kDim(0x8a, 0x90, 0x9a);
constexpr int kMargin = 16;

QFont sheetFont(int px, bool bold = false)
{
    QFont f = QApplication::font();
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

void label(QPainter& p, int x, int y, const QString& text, const QColor& c = kDim, int px = 10)
{
    p.setFont(sheetFont(px));
    p.setPen(c);
    p.drawText(x, y, text);
}

void heading(QPainter& p, int x, int y, const QString& text)
{
    p.setFont(sheetFont(14, true));
    p.setPen(kInk);
    p.drawText(x, y, text);
    p.fillRect(x, y + 5, 1132, 1, QColor(0x44, 0x48, 0x50));
}

void checker(QPainter& p, const QRect& r)
{
    p.save();
    p.setClipRect(r);
    for (int y = r.top(); y < r.bottom(); y += 4)
        for (int x = r.left(); x < r.right(); x += 4)
            p.fillRect(x, y, 4, 4,
                       ((x - r.left()) / 4 + (y - r.top()) / 4) % 2 ? QColor(0x9a, 0x9a, 0x9a)
                                                                    : QColor(0xc8, 0xc8, 0xc8));
    p.restore();
}

// A piece of the panel background, as the real panels have under their buttons.
void patch(QPainter& p, const QRect& r)
{
    p.save();
    p.setClipRect(r);
    Skin::instance().Slot(skin::kPanelBackground).Draw(p, r.x() - 120, r.y() - 20);
    p.restore();
}

void blackBox(QPainter& p, const QRect& r)
{
    p.fillRect(r, Qt::black);
    p.fillRect(r.left(), r.top(), r.width(), 1, QColor(0x808080));
    p.fillRect(r.left(), r.top(), 1, r.height(), QColor(0x808080));
    p.fillRect(r.left(), r.bottom(), r.width(), 1, QColor(0xFFFFFF));
    p.fillRect(r.right(), r.top(), 1, r.height(), QColor(0xFFFFFF));
}

void centredText(QPainter& p, int cx, int baseline, const QString& text)
{
    const int w = p.fontMetrics().horizontalAdvance(text);
    p.drawText(cx - w / 2, baseline, text);
}

// A component panel as the players paint theirs: background, frame, labels, emblems.
class SamplePanel : public SkinPanel
{
public:
    enum Kind { Cd, Audio, Midi, Video, Effector, Mixer };
    explicit SamplePanel(Kind kind)
        : SkinPanel(skin::kPanelBackground, true)
        , m_kind(kind)
    {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        paintBackground(p);
        const Skin& skin = Skin::instance();
        QFont f = QApplication::font();
        f.setPixelSize(10);
        p.setFont(f);
        p.setPen(skin.TextColor(skin::kPanelBackground));
        if (m_kind == Effector) {
            const std::pair<UINT, QPoint> labels[] = {{2070, {333, 80}},
                                                      {2071, {360, 80}},
                                                      {2094, {388, 80}},
                                                      {2114, {456, 80}},
                                                      {1086, {456, 40}}};
            for (const auto& [id, at] : labels)
                centredText(p, at.x(), at.y(), LoadQString(id));
            const SkinBitmap& badge = skin.Builtin(skin::res::kEffectorBadge);
            badge.DrawTransparent(p, 4, 84 - badge.height());
            // The effect display with a spectrum, the F/X mode box.
            blackBox(p, QRect(40, 6, 275, 76));
            const int levels[] = {9, 12, 15, 17, 16, 14, 15, 13, 11, 12, 10, 9, 8, 9, 7,
                                  6, 7,  5,  6,  4,  5,  3,  4,  3,  2,  3,  2, 2, 1, 1};
            for (int i = 0; i < 30; ++i)
                for (int k = 0; k < levels[i] && k < 16; ++k)
                    p.fillRect(43 + i * 8, 53 - k * 3, 7, 2,
                               k >= 13 ? QColor(0xff, 0x3b, 0x2f) : QColor(0xff, 0xb0, 0x2e));
            // Equalizer spot k chooses preset k (tooltips 2140-2146), Rock lit as the default.
            const char* eq[] = {"ROCK", "POP", "JAZZ", "CLSC", "VOCAL", "FLAT", "USER"};
            for (int k = 0; k < 7; ++k)
                pixelfont::draw(
                    p, 45 + 39 * k + (34 - pixelfont::textWidth(eq[k], pixelfont::Face::Small)) / 2,
                    70, eq[k], k == 0 ? QColor(0xff, 0xb0, 0x2e) : QColor(0x6a, 0x48, 0x14),
                    pixelfont::Face::Small);
            blackBox(p, QRect(428, 53, 57, 16));
            pixelfont::draw(p, 433, 58, "HALL", QColor(0xff, 0xb0, 0x2e), pixelfont::Face::Small);
        } else if (m_kind == Mixer) {
            p.fillRect(415, 4, 1, 92, QColor(0x808080));
            p.fillRect(416, 4, 1, 92, QColor(0xC0C0C0));
            p.drawText(450, 33, LoadQString(2057));
            p.drawText(450, 53, LoadQString(2058));
            p.drawText(450, 73, LoadQString(2059));
            const char* names[] = {"Master", "PCM", "Line", "CD", "Mic", "Aux"};
            for (int k = 0; k < 6; ++k)
                centredText(p, 58 + 60 * k, 17, QString::fromLatin1(names[k]));
        } else {
            const std::pair<UINT, int> labels[] = {
                {2016, 70}, {2020, 140}, {2017, 210}, {2018, 280}};
            for (const auto& [id, x] : labels)
                centredText(p, x, 94, LoadQString(id));
            if (m_kind == Cd) {
                p.drawText(362, 49, LoadQString(2019));
                const SkinBitmap& logo = skin.Builtin(skin::res::kCdLogo);
                logo.DrawTransparent(p, 498 - logo.width(), 98 - logo.height());
                skin.Builtin(skin::res::kCdBadge).DrawTransparent(p, 4, 62);
            }
        }
    }

private:
    Kind m_kind;
};

AlbumView sampleAlbum(int count, int current)
{
    AlbumView a;
    a.songCount = count;
    a.currentSong = current;
    a.currentSongLengthMs = 245000;
    a.totalLengthSeconds = 3725;
    a.tracks.resize(count);
    for (int i = 0; i < count; ++i) {
        a.tracks[i].played = i < current - 1;
        a.tracks[i].programmed = (i % 5) == 3;
        a.tracks[i].playable = i != 8;
    }
    return a;
}

std::unique_ptr<SamplePanel> samplePlayer(SamplePanel::Kind kind)
{
    auto panel = std::make_unique<SamplePanel>(kind);
    static const ButtonDescriptor* tables[] = {buttons::kCdPlayer, buttons::kAudioPlayer,
                                               buttons::kMidiPlayer, buttons::kVideoPlayer};
    static const int kinds[] = {ComponentCd, ComponentAudio, ComponentMidi, ComponentVideo};
    panel->createButtons(tables[kind]);
    auto* display = new DisplayPanel(kinds[kind], QRect(QPoint(40, 4), DisplayPanel::kDefaultSize),
                                     panel.get());
    switch (kind) {
    case SamplePanel::Cd:
        display->SetState(kModePlaying);
        display->Update(sampleAlbum(18, 7), 83, 0, true);
        display->SetRepeat(2);
        display->SetPlayMethod(0);
        display->SetInfoText("Title : Night Drive        Description : recorded live");
        display->positionSlider()->Enable(true);
        display->positionSlider()->SetPos(83);
        break;
    case SamplePanel::Audio:
        display->SetState(kModePaused);
        display->Update(sampleAlbum(124, 105), 50, 1, true);
        display->SetRepeat(1);
        display->SetPlayMethod(1);
        display->SetEffectActive(true);
        display->SetInfoText("File : 105 Harbour Lights.mp3        Harbour Lights - The Quay");
        panel->button(5184)->SetChecked(true);
        panel->button(5104)->setEnabled(true);
        break;
    case SamplePanel::Midi:
        display->SetState(kModeStopped);
        display->Update(sampleAlbum(9, 0), 0, 0, true);
        display->SetPlayMethod(2);
        display->SetInfoText("Album : Etudes        Artist : Kolvo Ensemble");
        panel->button(5121)->setEnabled(false);
        break;
    case SamplePanel::Video:
        display->SetState(kModeRecording);
        display->SetViewerSize(2);
        display->Update(sampleAlbum(3, 2), 12, 0, true);
        display->SetPlayMethod(3);
        display->SetInfoText("Recording to capture.wav.");
        panel->button(5168)->SetChecked(true);
        break;
    default:
        break;
    }
    return panel;
}

std::unique_ptr<SamplePanel> sampleMixer()
{
    auto panel = std::make_unique<SamplePanel>(SamplePanel::Mixer);
    panel->createButtons(buttons::kMixer);
    const int volumes[] = {24, 18, 32, 8, 0, 16};
    const int balances[] = {0, -3, 8, 2, -8, 0};
    for (int k = 0; k < 6; ++k) {
        auto* v = new SkinSlider(slider::Kind::Volume, QRect(45 + 60 * k, 20, 26, 57), panel.get(),
                                 6500 + k);
        v->SetPos(volumes[k]);
        auto* b = new SkinSlider(slider::Kind::Balance, QRect(41 + 60 * k, 81, 34, 13), panel.get(),
                                 6600 + k);
        b->SetPos(balances[k]);
        if (k == 5) {
            v->setEnabled(false);
            b->setEnabled(false);
        }
        panel->button(6700 + k)->SetChecked(k != 3);
    }
    panel->button(6705)->setEnabled(false);
    panel->button(5143)->SetChecked(true);
    panel->button(5148)->setEnabled(false);
    return panel;
}

std::unique_ptr<SamplePanel> sampleEffector()
{
    auto panel = std::make_unique<SamplePanel>(SamplePanel::Effector);
    panel->createButtons(buttons::kSoundEffector);
    const int depths[] = {12, 5, 16};
    for (int k = 0; k < 3; ++k) {
        auto* s = new SkinSlider(slider::Kind::SmallVertical, QRect(326 + 27 * k, 18, 17, 35),
                                 panel.get(), 5650 + k);
        s->SetPos(depths[k]);
    }
    panel->button(5640)->SetChecked(true);
    panel->button(5642)->SetChecked(true);
    panel->button(5643)->setEnabled(false);
    panel->button(5165)->SetChecked(true);
    auto* timer = new DigitDisplay(3, QRect(428, 12, 56, 14), panel.get(), 5162);
    timer->SetDigits(6, true);
    timer->SetSeparators({4, 2});
    timer->SetFrame(true);
    timer->SetValue(3000);
    return panel;
}

std::unique_ptr<SkinPanel> sampleMain()
{
    auto panel = std::make_unique<SkinPanel>(skin::kMainBackground, true);
    panel->createButtons(buttons::kMainController);
    for (int id : {5800, 5801, 5802, 5803})
        panel->button(id)->SetChecked(true);
    return panel;
}

bool drawRemoteDigit(QPainter& p, int state, bool checked, bool disabled, bool,
                     const ButtonDescriptor& d)
{
    if (d.commandId < 5300 || d.commandId > 5309)
        return false;
    SkinButton::paintButton(p, d, state, checked, disabled);
    const std::string figure = std::to_string(d.commandId - 5300);
    const int shift = state == SkinButton::kPressed ? 1 : 0;
    pixelfont::draw(p, (d.width - 5) / 2 + shift, (d.height - 7) / 2 + shift, figure,
                    QColor(0x18, 0x1a, 0x1f), pixelfont::Face::Small);
    return true;
}

class SampleRemote : public SkinPanel
{
public:
    SampleRemote()
        : SkinPanel(skin::kRemoteBackground, false)
    {
        resize(99, 224);
        createButtons(buttons::kRemoteControl, drawRemoteDigit);
        auto* track = new DigitDisplay(0, QRect(8, 48, 44, 30), this, 5203);
        track->SetDigits(2, false);
        track->SetValue(7);
        auto* time = new DigitDisplay(2, QRect(12, 81, 73, 12), this, 5204);
        time->SetDigits(5, true);
        time->SetSeparators({4, 2});
        time->SetValue(DigitDisplay::TimeValue(83));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        paintBackground(p);
        blackBox(p, QRect(4, 43, 90, 52));
        const ImageList& ind = Skin::instance().Indicators();
        ind.Draw(p, 9, 60, 50);
        ind.Draw(p, 8, 74, 50);
        p.save();
        p.setClipRect(QRect(56, 63, 36, 14));
        ind.Draw(p, 6, 56, 64);
        p.restore();
        // The menu button's place.
        p.fillRect(QRect(82, 6, 13, 13), QColor(0, 0, 0, 40));
    }
};

void renderWidget(QPainter& p, QWidget* w, QPoint at)
{
    w->setAttribute(Qt::WA_DontShowOnScreen);
    w->show();
    w->render(&p, at, QRegion(), QWidget::DrawChildren);
}

struct Sheet
{
    QPainter& p;
    int y = 0;
};

} // namespace

QImage renderSkinSheet(const std::string& skinFile, int scale)
{
    const int width = 1164;
    const int height = 2400; // cropped to what is drawn
    QImage img(width * scale, height * scale, QImage::Format_RGB32);
    img.setDevicePixelRatio(scale);
    img.fill(kSheet);
    QPainter p(&img);
    const Skin& skin = Skin::instance();

    // Caption.
    QString title = QStringLiteral("Built-in look  \u2014  [Original Color]");
    if (!skin.usingBuiltin()) {
        uib::FileSource source(skin.loadedPath());
        const uib::ReadResult r = uib::readSkin(source);
        title = QString::fromStdString(text::decodeLegacy(r.header.displayName)) +
                QStringLiteral("  \u2014  ") +
                QFileInfo(QString::fromStdString(skin.loadedPath())).fileName();
    } else if (!skinFile.empty()) {
        title +=
            QStringLiteral("  (") + QString::fromStdString(skinFile) + QStringLiteral(" refused)");
    }
    p.setFont(sheetFont(20, true));
    p.setPen(kInk);
    p.drawText(kMargin, 30, QStringLiteral("Kolvo skin sheet: ") + title);
    label(p, kMargin, 48,
          QStringLiteral("Panels with their controls, the 28 slots, the glyph lists, the digit "
                         "sets and the indicator images. Scale %1x.")
              .arg(scale));

    // Panels.
    heading(p, kMargin, 76, QStringLiteral("Panels"));
    const int col2 = kMargin + 500 + kMargin;
    const int col3 = col2 + 500 + kMargin;
    int y = 90;
    {
        auto main = sampleMain();
        renderWidget(p, main.get(), QPoint(kMargin, y));
        label(p, kMargin, y + 62, QStringLiteral("main controller (slot 0)"));
        auto remote = std::make_unique<SampleRemote>();
        renderWidget(p, remote.get(), QPoint(col3, y));
        label(p, col3, y + 236, QStringLiteral("remote (slot 2)"));
        auto effector = sampleEffector();
        renderWidget(p, effector.get(), QPoint(col2, y));
        label(p, col2, y + 112, QStringLiteral("sound effector (slot 1)"));
    }
    y += 124;
    const char* names[] = {
        "CD player: playing, repeat all", "digital audio: paused, remaining time, song 105",
        "MIDI player: stopped, no song", "video player: recording, viewer size 2"};
    for (int k = 0; k < 4; ++k) {
        auto panel = samplePlayer(static_cast<SamplePanel::Kind>(k));
        const QPoint at(k % 2 ? col2 : kMargin, y + (k / 2) * 124);
        renderWidget(p, panel.get(), at);
        label(p, at.x(), at.y() + 112, QString::fromLatin1(names[k]));
    }
    {
        auto mixer = sampleMixer();
        renderWidget(p, mixer.get(), QPoint(kMargin, y + 248));
        label(p, kMargin, y + 248 + 112, QStringLiteral("mixer (slot 1)"));
    }
    y += 248 + 130;

    // Button states on every face size.
    heading(p, kMargin, y,
            QStringLiteral("Button states: flat, raised, pressed, checked, disabled"));
    y += 16;
    {
        const int sizes[][5] = {{8, 8, skin::kFace8Up, skin::kFace8Down, 0},
                                {10, 10, skin::kFace10Up, skin::kFace10Down, 39},
                                {13, 13, skin::kFace13Up, skin::kFace13Down, 32},
                                {18, 18, skin::kFace18Up, skin::kFace18Down, 12},
                                {20, 13, skin::kFace20Up, skin::kFace20Down, 2},
                                {26, 26, skin::kFace26Up, skin::kFace26Down, 27},
                                {40, 40, skin::kFace40Up, skin::kFace40Down, 3},
                                {60, 14, skin::kFace60Up, skin::kFace60Down, 17}};
        const int checkedGlyph[] = {0, 0, 31, 0, 1, 0, 4, 0};
        const int disabledGlyph[] = {0, 40, 33, 0, 0, 28, 0, 0};
        int x = kMargin;
        for (int s = 0; s < 8; ++s) {
            const int w = sizes[s][0], h = sizes[s][1];
            const int cell = std::max(w + 8, 30);
            for (int state = 0; state < 5; ++state) {
                ButtonDescriptor d{1,
                                   kButtonToggle,
                                   skin::kPanelBackground,
                                   sizes[s][4],
                                   disabledGlyph[s],
                                   checkedGlyph[s],
                                   0,
                                   0,
                                   w,
                                   h,
                                   sizes[s][2],
                                   sizes[s][3]};
                const QPoint at(x + state * cell, y + 8);
                patch(p, QRect(at.x() - 3, at.y() - 3, w + 6, h + 6));
                p.save();
                p.translate(at);
                p.setClipRect(QRect(-3, -3, w + 6, h + 6));
                const int drawState[] = {SkinButton::kFlat, SkinButton::kRaised,
                                         SkinButton::kPressed, SkinButton::kFlat,
                                         SkinButton::kFlat};
                SkinButton::paintButton(p, d, drawState[state], state == 3, state == 4);
                p.restore();
            }
            label(p, x, y + 62, QStringLiteral("%1 x %2").arg(w).arg(h));
            x += cell * 5 + 12;
            if (x > width - 200 && s < 7) {
                x = kMargin;
                y += 72;
            }
        }
        y += 80;
    }

    // Slots.
    heading(p, kMargin, y, QStringLiteral("Skin slots (transparent parts over a checkerboard)"));
    y += 14;
    {
        int x = kMargin;
        int rowHeight = 0;
        for (int i = 0; i < skin::kSlotCount; ++i) {
            const auto& info = skin::kSlots[i];
            const SkinBitmap& b = skin.Slot(i);
            const int w = std::max(info.width, 24);
            if (x + w > width - kMargin) {
                x = kMargin;
                y += rowHeight + 22;
                rowHeight = 0;
            }
            checker(p, QRect(x, y, info.width, info.height));
            if (b.isLoaded())
                b.DrawTransparent(p, x, y);
            else
                label(p, x + 2, y + 12, QStringLiteral("empty"), QColor(0xff, 0x80, 0x80));
            label(p, x, y + info.height + 12, QString::number(i), kInk, 9);
            x += w + 12;
            rowHeight = std::max(rowHeight, info.height);
            if (i == 1 || i == 2) {
                x = kMargin;
                y += rowHeight + 22;
                rowHeight = 0;
            }
        }
        y += rowHeight + 34;
    }

    // Glyphs on their faces.
    heading(p, kMargin, y,
            QStringLiteral(
                "Glyphs: the 32-pixel list on 40 x 40 faces, the 16-pixel list on 18 x 18 faces"));
    y += 14;
    {
        const ImageList& large = skin.GlyphList(true);
        for (int i = 1; i < large.count(); ++i) {
            const QPoint at(kMargin + (i - 1) * 56, y);
            patch(p, QRect(at.x() - 4, at.y() - 4, 48, 48));
            p.save();
            p.setClipRect(QRect(at.x() - 4, at.y() - 4, 48, 48));
            ButtonDescriptor d{1,
                               0,
                               skin::kPanelBackground,
                               i,
                               0,
                               0,
                               0,
                               0,
                               40,
                               40,
                               skin::kFace40Up,
                               skin::kFace40Down};
            p.translate(at);
            SkinButton::paintButton(p, d, SkinButton::kFlat, false, false);
            p.restore();
            label(p, at.x() + 14, at.y() + 54, QString::number(i), kInk, 9);
        }
        y += 66;
        const ImageList& small = skin.GlyphList(false);
        for (int i = 1; i < small.count(); ++i) {
            const int col = (i - 1) % 33, row = (i - 1) / 33;
            const QPoint at(kMargin + col * 34, y + row * 44);
            patch(p, QRect(at.x() - 4, at.y() - 4, 26, 26));
            p.save();
            p.setClipRect(QRect(at.x() - 4, at.y() - 4, 26, 26));
            ButtonDescriptor d{1,
                               0,
                               skin::kPanelBackground,
                               i,
                               0,
                               0,
                               0,
                               0,
                               18,
                               18,
                               skin::kFace18Up,
                               skin::kFace18Down};
            p.translate(at);
            SkinButton::paintButton(p, d, SkinButton::kFlat, false, false);
            p.restore();
            label(p, at.x() + 3, at.y() + 32, QString::number(i), kInk, 9);
        }
        y += 110;
    }

    // Digits and indicators.
    heading(p, kMargin, y,
            QStringLiteral("Digit sets 0-3 (images 0-18) and the indicator images 0-27"));
    y += 14;
    {
        int dy = y;
        for (int kind = 0; kind < 4; ++kind) {
            const ImageList& digits = skin.Digits(kind);
            const QSize c = digits.cellSize();
            p.fillRect(QRect(kMargin, dy, digits.count() * (c.width() + 4) + 4, c.height() + 8),
                       Qt::black);
            for (int i = 0; i < digits.count(); ++i)
                digits.Draw(p, i, kMargin + 4 + i * (c.width() + 4), dy + 4);
            label(p, kMargin + digits.count() * (c.width() + 4) + 14, dy + c.height() / 2 + 8,
                  QStringLiteral("kind %1: %2 wide").arg(kind).arg(c.width()));
            dy += c.height() + 14;
        }
        const ImageList& ind = skin.Indicators();
        int iy = y;
        const int ix = 600;
        for (int i = 0; i < ind.count(); ++i) {
            const int col = i % 7, row = i / 7;
            const QPoint at(ix + col * 78, iy + 12 + row * 34);
            label(p, at.x(), at.y() - 4, QString::number(i), kInk, 9);
            p.fillRect(QRect(at.x() - 2, at.y() - 2, 64, 16), Qt::black);
            ind.Draw(p, i, at.x(), at.y());
        }
        y = std::max(dy, iy + 4 * 34 + 4) + 10;
    }

    // The rest of the built-in images.
    heading(
        p, kMargin, y,
        QStringLiteral("Track cells, position thumbs, tray icons, emblems, window icons, splash"));
    y += 14;
    {
        const ImageList& cells = skin.TrackCells();
        p.fillRect(QRect(kMargin, y, cells.count() * 16 + 4, 17), Qt::black);
        for (int i = 0; i < cells.count(); ++i) {
            cells.Draw(p, i, kMargin + 4 + i * 16, y + 4);
            pixelfont::draw(p, kMargin + 4 + i * 16 + 2, y + 6, std::to_string(i + 1),
                            i == 6 ? QColor(0x808080) : QColor(0xFFFFFF), pixelfont::Face::Tiny);
        }
        const ImageList& thumbs = skin.PositionThumbs();
        p.fillRect(QRect(kMargin, y + 26, 60, 12), Qt::black);
        for (int i = 0; i < thumbs.count(); ++i) {
            p.fillRect(QRect(kMargin + 4 + i * 18 - 4, y + 31, 14, 1), QColor(0x808080));
            thumbs.Draw(p, i, kMargin + 4 + i * 18, y + 30);
        }
        const ImageList& tray = skin.TrayIcons();
        for (int i = 0; i < tray.count(); ++i) {
            const QPoint at(kMargin + 160 + (i % 12) * 22, y + (i / 12) * 22);
            p.fillRect(QRect(at - QPoint(2, 2), QSize(20, 20)),
                       i % 2 ? QColor(0x3a, 0x3d, 0x44) : QColor(0xe8, 0xe8, 0xea));
            tray.Draw(p, i, at.x(), at.y());
        }
        int ex = kMargin + 440;
        for (int id : {skin::res::kCdLogo, skin::res::kCdBadge, skin::res::kEffectorBadge}) {
            const SkinBitmap& b = skin.Builtin(id);
            patch(p, QRect(ex - 4, y - 4, b.width() + 8, b.height() + 8));
            p.save();
            p.setClipRect(QRect(ex - 4, y - 4, b.width() + 8, b.height() + 8));
            b.DrawTransparent(p, ex, y);
            p.restore();
            label(p, ex, y + b.height() + 16, QString::number(id), kInk, 9);
            ex += b.width() + 24;
        }
        const QIcon icon = skin.WindowIcon(skin::res::kMainIcon);
        const QIcon remoteIcon = skin.WindowIcon(skin::res::kRemoteIcon);
        int icx = ex + 10;
        for (int s : {16, 32, 48}) {
            p.drawPixmap(QRect(icx, y, s, s), icon.pixmap(QSize(s, s), scale));
            p.drawPixmap(QRect(icx, y + 52, s, s), remoteIcon.pixmap(QSize(s, s), scale));
            icx += s + 10;
        }
        const SkinBitmap& splash = skin.Builtin(skin::res::kSplash);
        splash.Draw(p, width - kMargin - splash.width(), y + 100);
        y += 100 + splash.height() + kMargin;
    }
    p.end();
    return img.copy(0, 0, img.width(), std::min(img.height(), y * scale));
}
