#include "ui/digitdisplay.h"

#include "ui/skin.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

DigitDisplay::DigitDisplay(int kind, const QRect& rect, Wnd* parent, int id)
    : Wnd(parent)
    , m_kind(std::clamp(kind, 0, 3))
    , m_id(id)
{
    setGeometry(rect);
    setCursor(Qt::ArrowCursor);
    show();
}

int DigitDisplay::TimeValue(int seconds)
{
    if (seconds < 0)
        seconds = 0;
    return (seconds / 3600) * 10000 + ((seconds / 60) % 60) * 100 + seconds % 60;
}

void DigitDisplay::SetValue(int value, bool remaining)
{
    if (value == m_value && remaining == m_remaining)
        return;
    m_value = value;
    m_remaining = remaining;
    update();
}

void DigitDisplay::SetLit(bool lit)
{
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
}

void DigitDisplay::SetDigits(int count, bool signCell)
{
    m_digits = std::clamp(count, 1, 9);
    m_sign = signCell;
    update();
}

void DigitDisplay::SetSeparators(std::vector<int> positions)
{
    m_separators = std::move(positions);
    update();
}

void DigitDisplay::SetFrame(bool frame)
{
    m_frame = frame;
    update();
}

std::vector<int> DigitDisplay::cellImages() const
{
    std::vector<int> cells;
    if (m_sign) {
        if (!m_lit || m_value < 0)
            cells.push_back(kSignOff);
        else
            cells.push_back(m_remaining ? kSignRemaining : kSignNone);
    }
    long long v = std::llabs(static_cast<long long>(m_value));
    long long power = 1;
    for (int i = 1; i < m_digits; ++i)
        power *= 10;
    for (int p = m_digits - 1; p >= 0; --p, power /= 10) {
        // A value with more figures than cells shows nines rather than images of other kinds.
        const long long digit = std::min<long long>(v / power, 9);
        v -= digit * power;
        cells.push_back(m_lit ? static_cast<int>(digit) : kUnlitDigit);
        if (std::find(m_separators.begin(), m_separators.end(), p) != m_separators.end())
            cells.push_back(m_lit ? kLitSeparator : kUnlitSeparator);
    }
    return cells;
}

int DigitDisplay::advance() const
{
    return skin::res::kDigitKinds[m_kind].advance;
}

QPoint DigitDisplay::origin() const
{
    const int inset = m_frame ? 1 : 0;
    const int h = skin::res::kDigitKinds[m_kind].height;
    return {inset, std::max(inset, (height() - h) / 2)};
}

void DigitDisplay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, Qt::black);
    if (m_frame) {
        p.fillRect(r.left(), r.top(), r.width(), 1, QColor(0x808080));
        p.fillRect(r.left(), r.top(), 1, r.height(), QColor(0x808080));
        p.fillRect(r.left(), r.bottom(), r.width(), 1, QColor(0xFFFFFF));
        p.fillRect(r.right(), r.top(), 1, r.height(), QColor(0xFFFFFF));
        p.setClipRect(r.adjusted(1, 1, -1, -1));
    }
    const ImageList& images = Skin::instance().Digits(m_kind);
    QPoint at = origin();
    for (int image : cellImages()) {
        images.Draw(p, image, at.x(), at.y());
        at.rx() += advance();
    }
}

void DigitDisplay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (auto* parent = qobject_cast<Wnd*>(parentWidget()))
        parent->postMessage(UM_CONTROL_CLICK, static_cast<WPARAM>(m_id), 0);
}
