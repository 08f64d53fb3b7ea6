#include "players/levelmeters.h"

#include "ui/skin.h"
#include "ui/skinslots.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

LevelMeters::LevelMeters(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LevelMeters::setLevels(int left, int right)
{
    left = std::clamp(left, 0, kFullScale);
    right = std::clamp(right, 0, kFullScale);
    if (left == m_left && right == m_right)
        return;
    m_left = left;
    m_right = right;
    update();
}

double LevelMeters::barFraction(int level)
{
    if (level <= 0)
        return 0.0;
    const double db =
        20.0 * std::log10(static_cast<double>(std::min(level, kFullScale)) / kFullScale);
    return std::clamp(1.0 + db / kFloorDb, 0.0, 1.0);
}

void LevelMeters::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QColor text = Skin::instance().TextColor(skin::kPanelBackground);
    const int barHeight = std::max(1, (height() - 1) / 2);
    // Letters only when the bars are tall enough to read them beside.
    int labelWidth = 0;
    if (barHeight >= 7) {
        QFont f = font();
        f.setPixelSize(barHeight);
        p.setFont(f);
        labelWidth = p.fontMetrics().horizontalAdvance(QStringLiteral("R")) + 3;
    }
    const int barWidth = width() - labelWidth;
    const std::pair<QString, int> rows[] = {{QStringLiteral("L"), m_left},
                                            {QStringLiteral("R"), m_right}};
    int y = 0;
    for (const auto& [label, level] : rows) {
        if (labelWidth > 0) {
            p.setPen(text);
            p.drawText(QRect(0, y, labelWidth, barHeight), Qt::AlignLeft | Qt::AlignVCenter, label);
        }
        const QRect track(labelWidth, y, barWidth, barHeight);
        p.fillRect(track, QColor(48, 48, 48)); // hides the idle position slider beneath
        const int lit = static_cast<int>(std::lround(barFraction(level) * barWidth));
        // Green to the loud part, yellow then red near full scale, as meters are read.
        const int yellowFrom = static_cast<int>(barWidth * 0.75);
        const int redFrom = static_cast<int>(barWidth * 0.92);
        if (lit > 0)
            p.fillRect(QRect(labelWidth, y, std::min(lit, yellowFrom), barHeight),
                       QColor(60, 200, 70));
        if (lit > yellowFrom)
            p.fillRect(
                QRect(labelWidth + yellowFrom, y, std::min(lit, redFrom) - yellowFrom, barHeight),
                QColor(230, 210, 50));
        if (lit > redFrom)
            p.fillRect(QRect(labelWidth + redFrom, y, lit - redFrom, barHeight),
                       QColor(230, 60, 40));
        y += barHeight + 1;
    }
}
