#pragma once
// A spectrum display: twenty bars on black, fed by the sampling service. It registers in its
// slot (0 for the Sound Effector's, 1 for the spectrum viewer's) only while it is enabled and
// shown, so a hidden or disabled display costs nothing and, with no display registered, the
// service's worker is held still. The worker hands snapshots over on its own thread; the
// display copies the latest one and repaints on the user-interface thread, at most one
// repaint waiting at a time.
//
// The mode word: its low byte is the drawing mode (0 solid bars at half scale, 1 LED bars,
// 2 LED bars with falling peaks at double scale, 3 an outline at double scale); its bit
// 0x10000 is the flag the engines get (linear amplitude instead of decibels). A click on the
// display steps to the next drawing mode. Whenever it starts showing, a short sweep runs
// across the bars first, during which snapshots are not shown.

#include "engines/samplingservice.h"
#include "platform/wnd.h"

#include <QRect>

#include <array>
#include <atomic>
#include <functional>
#include <mutex>

class QAction;
class QMenu;

class SpectrumDisplay : public Wnd, public engines::SpectrumDisplayClient
{
    Q_OBJECT
public:
    static constexpr int kBands = 20;
    static constexpr int kLinearFlag = 0x10000;
    static constexpr int kDrawingModes = 4;
    static constexpr UINT kAnimationTimerId = 1;
    static constexpr int kAnimationFrameMs = 25;
    static constexpr int kAnimationFrames = 28;

    // Not enabled until Enable(true). The service defaults to the program's.
    SpectrumDisplay(int slot, const QRect& rect, Wnd* parent, int id, int modeWord,
                    engines::SpectrumService* service = nullptr);
    ~SpectrumDisplay() override;

    // Disabling unregisters and draws one all-zero snapshot.
    void Enable(bool enabled);
    bool isEnabled() const { return m_enabled; }
    int id() const { return m_id; }
    bool isRegistered() const { return m_registered; }
    bool isAnimating() const { return m_animationFrame >= 0; }

    int modeWord() const { return m_mode.load(); }
    void SetMode(int modeWord);
    int drawingMode() const { return drawingModeOf(m_mode.load()); }
    static int drawingModeOf(int modeWord);
    // A band value as a drawing mode scales it (half, as it is, or double), limited to 0..100.
    static int scaled(int value, int drawingMode);
    // Told of every change of the mode word the user makes (click, menu), to keep it.
    void setModeListener(std::function<void(int)> listener)
    {
        m_modeListener = std::move(listener);
    }

    // The drawing modes and the linear flag as menu entries (checked as the mode is now);
    // chooseModeAction carries out the entry the user chose (null: none).
    void addModeActions(QMenu& menu) const;
    void chooseModeAction(const QAction* action);

    // What is drawn now: the scaled bars and the peaks, 0..100 each.
    const std::array<int, kBands>& levels() const { return m_levels; }
    const std::array<int, kBands>& peaks() const { return m_peaks; }
    // Snapshots taken over on the user-interface thread so far.
    int snapshotsShown() const { return m_shown; }

    // engines::SpectrumDisplayClient, on the service's worker.
    int spectrumMode() const override { return m_mode.load(); }
    void showSpectrum(const engines::SpectrumSnapshot& snapshot) override;

    // Draws bars of levels 0..100 into a rectangle in a drawing mode (for the display and for
    // whoever wants a sample).
    static void paintBars(QPainter& painter, const QRect& area, int drawingMode,
                          const std::array<int, kBands>& levels,
                          const std::array<int, kBands>& peaks);

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateRegistration();
    void takeSnapshot();
    void takeLevels(const engines::SpectrumSnapshot& snapshot);
    void animate();
    void userSetMode(int modeWord);

    int m_slot;
    int m_id;
    engines::SpectrumService* m_service;
    std::atomic<int> m_mode;
    bool m_enabled = false;
    bool m_registered = false;
    // Read by the worker: whether a snapshot handed over now would be shown.
    std::atomic<bool> m_accepting{false};
    std::atomic<bool> m_takeQueued{false};
    std::mutex m_pendingLock;
    engines::SpectrumSnapshot m_pending{};
    std::array<int, kBands> m_levels{};
    std::array<int, kBands> m_peaks{};
    int m_animationFrame = -1;
    int m_shown = 0;
    std::function<void(int)> m_modeListener;
};
