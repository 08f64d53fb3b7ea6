#pragma once
// The Digital Video Player's viewer: a top-level borderless window titled "Kolvo Screen" with a
// child window ("Kolvo DGV Viewer Child") in which the engines draw. The child is the engines'
// VideoSurface: pictures arrive on GStreamer's threads, are kept (never copied) and painted,
// scaled, into the movie rectangle the engines set. The frame round the child is drawn from the
// skin: a title strip of 20 pixels, sides of 17, and a strip of 38 under the picture with the
// viewer's own buttons, so the window is the picture plus 34 by 58 pixels.
//
// The engines' notifications reach the child, which hands them to the viewer: it checks the
// cookie of the open, resizes itself for event 1 in size modes 1 and 2, and passes them on to
// the component. Keys and the viewer's buttons go to the component as UM_VIEWER_INPUT (0x70C).
// A press on the picture drags the window; in full screen it asks the component, with event 3
// and bit 1 of lParam, to leave full screen.
//
// Placement: the settings section "DGVViewer", keys Left, Top, Right, Bottom; a stored rectangle
// of which less than 20 pixels would show on the work area gives way to the middle half of it.

#include "engines/videooutput.h"
#include "platform/wnd.h"
#include "ui/skinpanel.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include "players/vcdreader.h"

#include <mutex>
#include <vector>

class VideoViewer;

class VideoViewerChild : public Wnd, public engines::VideoSurface
{
    Q_OBJECT
public:
    explicit VideoViewerChild(VideoViewer* viewer);
    ~VideoViewerChild() override;

    // VideoSurface, from the engines.
    void present(engines::FramePtr frame) override;
    void setMovieRect(const RECT& rect) override;
    bool showFullScreen(bool on) override;

    // The picture shown now (null: none) and how many pictures were painted.
    engines::FramePtr frame() const;
    int paintedFrames() const { return m_painted; }
    QRect movieRect() const { return m_movieRect; }
    // Forgets the picture: the child is black until the next one.
    void clear();

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void takePending();

    VideoViewer* m_viewer;
    mutable std::mutex m_mutex;
    engines::FramePtr m_pending; // from the engines, not yet taken
    bool m_scheduled = false;
    engines::FramePtr m_frame; // painted
    QRect m_movieRect;         // empty: the whole child
    int m_painted = 0;
};

class VideoViewer : public SkinPanel
{
    Q_OBJECT
public:
    static constexpr int kLeft = 17;
    static constexpr int kTop = 20;
    static constexpr int kExtraWidth = 34;
    static constexpr int kExtraHeight = 58;

    // component: where notifications and input go.
    explicit VideoViewer(HWND component);
    ~VideoViewer() override;

    VideoViewerChild* child() const { return m_child; }
    // The window for a picture of `source` size in size mode 1 (1x) or 2 (2x).
    static QSize windowSizeFor(QSize source, int sizeMode);
    // Where the viewer opens: the stored rectangle on the work area, or the middle half of it.
    static QRect initialRect(const QRect& stored, const QRect& workArea);

    // The cookie of the open now; notifications with another are dropped.
    void SetCookie(int cookie) { m_cookie = cookie; }
    int cookie() const { return m_cookie; }
    void SetSizeMode(int mode) { m_sizeMode = mode; }
    int sizeMode() const { return m_sizeMode; }
    // Resizes (never moves) the window to fit a picture of `source` size in modes 1 and 2.
    void FitPicture(QSize source);
    void SetFullScreen(bool on);
    bool isFullScreenMode() const { return m_fullScreen; }
    // Black, and the source of the last film forgotten.
    void Reset();
    // Stores the rectangle in the settings.
    void SaveRect() const;

    // From the child: an engine notification, and input for the component.
    void OnNotification(UINT msg, WPARAM wParam, LPARAM lParam);
    void SendInput(WPARAM kind, LPARAM value);
    void PictureClicked(QMouseEvent* event);
    // A Video CD's hot areas (0-255 across and down the picture): a click in one sends its
    // command as input instead of moving the window.
    void SetHotAreas(const std::vector<VcdHotArea>& areas) { m_hotAreas = areas; }
    const std::vector<VcdHotArea>& hotAreas() const { return m_hotAreas; }
    // Escape and the digits 1-9 (keypad too); false for any other key.
    bool HandleKey(int key, bool keypad);

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void layOutChildren();

    HWND m_component;
    VideoViewerChild* m_child;
    int m_cookie = 0;
    int m_sizeMode = 1;
    bool m_fullScreen = false;
    QRect m_normalGeometry;
    QSize m_source;
    std::vector<VcdHotArea> m_hotAreas;
};
