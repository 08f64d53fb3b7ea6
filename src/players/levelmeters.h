#pragma once
// The recording level meters of the Digital Audio Player: a left and a right bar under the
// display panel showing the loudest sample of the last captured buffer, on a decibel scale so
// a quiet input still moves them.
//
// It promises: levels are kept as given (0..32768, clamped); a bar is empty at 0 and full at
// the top of the range; each new pair repaints the widget at once. The left bar is the upper one.

#include <QWidget>

#include <utility>

class LevelMeters : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kFullScale = 32768;
    // The quietest level a bar shows, in decibels below full scale.
    static constexpr double kFloorDb = 60.0;

    explicit LevelMeters(QWidget* parent);
    void setLevels(int left, int right);
    std::pair<int, int> levels() const { return {m_left, m_right}; }
    // How much of a bar a level fills, 0..1.
    static double barFraction(int level);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    int m_left = 0;
    int m_right = 0;
};
