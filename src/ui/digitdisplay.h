#pragma once
// The digit display: a number drawn with LED digit images of one size kind (0-3), with an
// optional sign cell, separators after chosen digits, lit or unlit, and an optional 3-D frame
// around a black background. A click posts UM_CONTROL_CLICK (0x6D0, wParam = its id) to the
// parent.

#include "platform/vocabulary.h"
#include "platform/wnd.h"

#include <QRect>

#include <vector>

class QPainter;

class DigitDisplay : public Wnd
{
    Q_OBJECT
public:
    // Image indices of the digit lists.
    static constexpr int kUnlitDigit = 10;
    static constexpr int kLitSeparator = 11;
    static constexpr int kUnlitSeparator = 12;
    static constexpr int kSignOff = 13; // negative, or the display unlit
    static constexpr int kSignNone = 14;
    static constexpr int kSignRemaining = 18;

    DigitDisplay(int kind, const QRect& rect, Wnd* parent, int id);

    void SetValue(int value, bool remaining = false);
    void SetLit(bool lit);
    void SetDigits(int count, bool signCell);
    // A separator is drawn after the digit whose power of ten equals a position.
    void SetSeparators(std::vector<int> positions);
    void SetFrame(bool frame);

    int value() const { return m_value; }
    bool isRemaining() const { return m_remaining; }
    bool isLit() const { return m_lit; }
    int id() const { return m_id; }
    int kind() const { return m_kind; }

    // The image of every cell from left to right, as drawn now.
    std::vector<int> cellImages() const;
    // Where the first cell is drawn.
    QPoint origin() const;
    int advance() const;

    // Seconds as H * 10000 + M * 100 + S, for a five-digit H:MM:SS display.
    static int TimeValue(int seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int m_kind;
    int m_id;
    int m_digits = 1;
    bool m_sign = false;
    std::vector<int> m_separators;
    int m_value = 0;
    bool m_remaining = false;
    bool m_lit = true;
    bool m_frame = false;
};
