#include "platform/placement.h"

#include "platform/profile.h"

#include <QGuiApplication>
#include <QScreen>

#include <climits>

QRect ReadWindowRect(const Profile& profile, const std::string& section, const RectValueNames& n)
{
    const int left = profile.GetProfileInt(section, n[0], 0);
    const int top = profile.GetProfileInt(section, n[1], 0);
    const int right = profile.GetProfileInt(section, n[2], 0);
    const int bottom = profile.GetProfileInt(section, n[3], 0);
    // Right and bottom lie just outside; the lowest value there leaves the rectangle empty
    // rather than wrapping round to the highest.
    const auto inside = [](int outside) { return outside == INT_MIN ? INT_MIN : outside - 1; };
    return QRect(QPoint(left, top), QPoint(inside(right), inside(bottom)));
}

void WriteWindowRect(Profile& profile, const std::string& section, const QRect& r,
                     const RectValueNames& n)
{
    profile.WriteProfileInt(section, n[0], r.left());
    profile.WriteProfileInt(section, n[1], r.top());
    profile.WriteProfileInt(section, n[2], r.right() + 1);
    profile.WriteProfileInt(section, n[3], r.bottom() + 1);
}

QRect FitToWorkArea(const QRect& saved, const QRect& workArea, const QRect& fallback,
                    int minVisible)
{
    const QRect visible = saved.intersected(workArea);
    if (visible.width() < minVisible || visible.height() < minVisible)
        return fallback;
    return visible;
}

QRect DesktopWorkArea()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}
