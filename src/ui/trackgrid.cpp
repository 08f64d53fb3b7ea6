#include "ui/trackgrid.h"

#include "ui/pixelfont.h"
#include "ui/skin.h"
#include "ui/skinbutton.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kFirstCellX = 9;
constexpr int kCellAdvanceX = 12;
constexpr int kCellAdvanceY = 10;
constexpr int kCellWidth = 11;
constexpr int kCellHeight = 9;

// The page buttons are 8 x 8: too small for any glyph, so they get a small arrow of their own.
bool drawPageButton(QPainter& p, int state, bool checked, bool disabled, bool,
                    const ButtonDescriptor& d)
{
    SkinButton::paintButton(p, d, state, checked, disabled);
    const int shift = state == SkinButton::kPressed ? 1 : 0;
    const QColor ink = disabled ? QColor(0x70, 0x70, 0x70) : QColor(0x18, 0x18, 0x1c);
    const bool up = d.commandId == TrackGrid::kPreviousPageId;
    const int top = 3 + shift;
    p.fillRect(3 + shift, up ? top : top + 1, 2, 1, ink);
    p.fillRect(2 + shift, up ? top + 1 : top, 4, 1, ink);
    return true;
}

} // namespace

TrackGrid::TrackGrid(const QRect& rect, Wnd* parent, int id)
    : Wnd(parent)
{
    setGeometry(rect);
    setCursor(Qt::ArrowCursor);
    setProperty("controlId", id);
    const ButtonDescriptor previous{
        kPreviousPageId, 0, skin::kPanelBackground, 0, 0, 0, 0, 2, 8, 8, skin::kFace8Up,
        skin::kFace8Down};
    const ButtonDescriptor next{
        kNextPageId,     0, skin::kPanelBackground, 0, 0, 0, 0, 19, 8, 8, skin::kFace8Up,
        skin::kFace8Down};
    m_previous = new SkinButton(previous, this, drawPageButton);
    m_next = new SkinButton(next, this, drawPageButton);
    show();
}

int TrackGrid::pageStart(int track)
{
    if (track < 1)
        return 1;
    return ((track - 1) / kCells) * kCells + 1;
}

QRect TrackGrid::cellRect(int i)
{
    return QRect(kFirstCellX + (i % kColumns) * kCellAdvanceX, (i / kColumns) * kCellAdvanceY,
                 kCellWidth, kCellHeight);
}

void TrackGrid::SetAlbum(const AlbumView& album)
{
    const bool currentChanged = album.currentSong != m_album.currentSong;
    const bool countChanged = album.songCount != m_album.songCount;
    m_album = album;
    if (currentChanged || countChanged || m_first > std::max(1, album.songCount))
        m_first = pageStart(album.currentSong > 0 ? album.currentSong : 1);
    if (album.currentSong <= 0)
        m_blinkOn = true;
    update();
}

void TrackGrid::SetLit(bool lit)
{
    if (lit == m_lit)
        return;
    m_lit = lit;
    m_blinkOn = true;
    update();
}

int TrackGrid::cellImage(int number) const
{
    if (!m_lit || number < 1 || number > m_album.songCount)
        return kCellEmpty;
    if (number == m_album.currentSong)
        return m_blinkOn ? kCellCurrent : kCellCurrentBlink;
    const size_t i = static_cast<size_t>(number - 1);
    const TrackCell cell = i < m_album.tracks.size() ? m_album.tracks[i] : TrackCell{};
    if (!cell.playable)
        return kCellUnplayable;
    if (cell.programmed)
        return cell.played ? kCellProgrammedPlayed : kCellProgrammed;
    return cell.played ? kCellPlayed : kCellNormal;
}

void TrackGrid::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const ImageList& cells = Skin::instance().TrackCells();
    for (int i = 0; i < kCells; ++i) {
        const int number = m_first + i;
        const QRect r = cellRect(i);
        const int image = cellImage(number);
        cells.Draw(p, image, r.x(), r.y());
        if (image == kCellEmpty)
            continue;
        const size_t k = static_cast<size_t>(number - 1);
        const bool playable = k >= m_album.tracks.size() || m_album.tracks[k].playable;
        const std::string text = std::to_string(number);
        const int w = pixelfont::textWidth(text, pixelfont::Face::Tiny);
        // Numbers are centred in the cell's 10 visible columns.
        const int x = r.x() + std::max(0, (10 - w + 1) / 2);
        pixelfont::draw(p, x, r.y() + 2, text, playable ? QColor(0xFFFFFF) : QColor(0x808080),
                        pixelfont::Face::Tiny);
    }
}

void TrackGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_lit)
        return;
    const QPoint at = event->position().toPoint();
    for (int i = 0; i < kCells; ++i) {
        if (!cellRect(i).contains(at))
            continue;
        const int number = m_first + i;
        if (number <= m_album.songCount) {
            if (auto* parent = qobject_cast<Wnd*>(parentWidget()))
                parent->postMessage(UM_PLAY_SONG, static_cast<WPARAM>(number), 0);
        }
        return;
    }
}

LRESULT TrackGrid::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER && wParam == kTickTimerId) {
        if (!m_lit || m_album.currentSong <= 0)
            return 0;
        m_blinkOn = !m_blinkOn;
        const int i = m_album.currentSong - m_first;
        if (i >= 0 && i < kCells)
            update(cellRect(i));
        return 0;
    }
    if (msg == WM_COMMAND) {
        const int id = static_cast<int>(LOWORD(wParam));
        if (id == kNextPageId && m_first + kCells <= m_album.songCount) {
            m_first += kCells;
            update();
        } else if (id == kPreviousPageId && m_first > 1) {
            m_first -= kCells;
            update();
        }
        return 0;
    }
    return Wnd::onMessage(msg, wParam, lParam);
}
