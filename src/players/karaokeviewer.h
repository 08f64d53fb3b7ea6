#pragma once
// The karaoke viewer: the MIDI Player's popup that shows the words of a karaoke file while it
// plays, the syllable being sung lit in the line being sung. The MIDI engine talks to it with
// UM_KARAOKE (engines/karaoke.h); engine notifications sent to it go on to the player.
//
// Three lines: the first shows the song's title from the file (code 0), the other two the
// upper and lower lyric lines. A page starts with its upper line, the next line becomes the
// lower one, and each line after that moves the lower up and takes its place. Highlights are
// taken only while the engine plays (a paused song's late events are ignored). The words keep
// the bytes of the file: a line that is valid UTF-8 is read as UTF-8, any other in the legacy
// code page (Korean and Japanese files as for song names), and the highlight is measured in
// those bytes. When no word has come for ten seconds (the viewer's timer, id 100) and the lines
// on screen have been sung, they are cleared so that an instrumental break shows the title
// alone. The rectangle is kept in the settings section "KaraokeViewer".

#include "platform/wnd.h"

#include <QString>

#include <chrono>
#include <functional>
#include <string>

class KaraokeViewer : public Wnd
{
    Q_OBJECT
public:
    struct Line
    {
        std::string bytes; // as the file has them
        int id = 0;
        int litFrom = 0; // the highlighted bytes [litFrom, litTo)
        int litTo = 0;
    };
    enum LineState { Idle = 0, TitleShown = 1, NewPage = 2, Running = 3 };

    // `player` is told the engine notifications that arrive here; `engineMode` gives the mode
    // of the engine that plays (526 while playing).
    KaraokeViewer(Wnd* player, std::function<int()> engineMode);
    ~KaraokeViewer() override;

    // Shows the viewer for a song (its display name as the caption's title), lines emptied,
    // without taking the focus, and starts the timer.
    void showFor(const QString& title);
    // Empties the title, hides the viewer, stops the timer.
    void hideViewer();
    bool isActive() const { return m_active; }

    QString title() const { return m_title; }
    int lineState() const { return m_state; }
    // Line 0 the title line, 1 the upper and 2 the lower lyric line.
    const Line& line(int i) const { return m_lines[static_cast<size_t>(i)]; }
    // A line's text, and its part before, in and after the highlight, decoded.
    QString lineText(int i) const;
    QString litText(int i) const;

    static QString caption() { return QStringLiteral("Kolvo Karaoke Screen"); }
    static constexpr int kCaptionHeight = 18;
    // For tests: what the ten-second timer does.
    void timerTick();

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void onKaraoke(int code, const void* record);
    void clearLines();
    void saveRect();
    QString decode(const Line& line, int from, int to) const;

    Wnd* m_player;
    std::function<int()> m_engineMode;
    bool m_active = false;
    QString m_title;
    Line m_lines[3];
    int m_state = Idle;
    std::chrono::steady_clock::time_point m_lastEvent{};
};
