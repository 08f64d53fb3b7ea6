#pragma once
// The track grid: one page of 15 numbered cells (3 rows of 5) of the current album, the current
// track blinking, two small buttons to page. Clicking a cell posts UM_PLAY_SONG (0x6C6) with the
// track number to the parent. It has no timer of its own: the current track blinks on the tick
// (WM_TIMER kTickTimerId) the display panel forwards, so it blinks in step with the indicators.

#include "platform/vocabulary.h"
#include "platform/wnd.h"

#include <QRect>

#include <vector>

class SkinButton;

// What the display panel and the grid need to know of an album; the players fill it from
// theirs.
struct TrackCell
{
    bool playable = true;    // the number is white, else grey
    bool played = false;     // played already in this round
    bool programmed = false; // part of the play program
};

struct AlbumView
{
    int songCount = 0;
    int currentSong = 0;           // 1-based, 0 for none
    int currentSongLengthMs = 0;   // of the current song
    int totalLengthSeconds = 0;    // of the whole album
    std::vector<TrackCell> tracks; // index 0 is song 1; missing entries are plain playable tracks
};

class TrackGrid : public Wnd
{
    Q_OBJECT
public:
    static constexpr int kCells = 15;
    static constexpr int kColumns = 5;
    static constexpr int kNextPageId = 2147;
    static constexpr int kPreviousPageId = 2148;

    // The 8 cell images: which stands for what is ours to choose.
    enum CellImage {
        kCellNormal = 0,
        kCellCurrent = 1,
        kCellCurrentBlink = 2,
        kCellPlayed = 3,
        kCellProgrammed = 4,
        kCellProgrammedPlayed = 5,
        kCellUnplayable = 6,
        kCellEmpty = 7,
    };

    TrackGrid(const QRect& rect, Wnd* parent, int id = 5205);

    // Shows the album; the page moves to the one holding the current track when that changes.
    void SetAlbum(const AlbumView& album);
    void SetLit(bool lit);
    bool isLit() const { return m_lit; }

    int firstNumber() const { return m_first; }
    // The first number of the page that holds a track.
    static int pageStart(int track);
    // The rectangle of cell i (0-14) in grid pixels.
    static QRect cellRect(int i);
    // The cell image for a track number as the grid draws it now.
    int cellImage(int number) const;

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    AlbumView m_album;
    int m_first = 1;
    bool m_lit = true;
    bool m_blinkOn = true;
    SkinButton* m_previous = nullptr;
    SkinButton* m_next = nullptr;
};
