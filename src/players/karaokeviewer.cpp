#include "players/karaokeviewer.h"

#include "engines/karaoke.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/text.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSizeGrip>
#include <QWindow>

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kSection = "KaraokeViewer";
constexpr int kDefaultWidth = 520;
constexpr int kDefaultHeight = 170;
constexpr int kTimerMs = 10000;
constexpr auto kQuietAfter = std::chrono::seconds(10);

const QColor kBack(0x0c, 0x10, 0x24);
const QColor kSung(0xff, 0xd0, 0x40);
const QColor kToSing(0xf0, 0xf0, 0xf0);
const QColor kTitleText(0x90, 0xa8, 0xe0);

} // namespace

KaraokeViewer::KaraokeViewer(Wnd* player, std::function<int()> engineMode)
    : Wnd(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_player(player)
    , m_engineMode(std::move(engineMode))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(caption());
    auto* grip = new QSizeGrip(this);
    grip->setObjectName(QStringLiteral("grip"));
    setMinimumSize(200, 90);
    const QRect area = DesktopWorkArea();
    // Under the middle of the screen, where a sing-along is read.
    const QRect fallback(area.left() + (area.width() - kDefaultWidth) / 2,
                         area.top() + area.height() * 2 / 3 - kDefaultHeight / 2, kDefaultWidth,
                         kDefaultHeight);
    setGeometry(FitToWorkArea(ReadWindowRect(Profile(), kSection), area, fallback));
}

KaraokeViewer::~KaraokeViewer()
{
    saveRect();
}

void KaraokeViewer::saveRect()
{
    Profile profile;
    WriteWindowRect(profile, kSection, geometry());
    profile.sync();
}

void KaraokeViewer::showFor(const QString& title)
{
    m_title = title;
    clearLines();
    m_state = Idle;
    m_active = true;
    m_lastEvent = std::chrono::steady_clock::now();
    setTimer(kKaraokeTimerId, kTimerMs);
    show();
    update();
}

void KaraokeViewer::hideViewer()
{
    m_title.clear();
    m_active = false;
    clearTimer(kKaraokeTimerId);
    hide();
}

void KaraokeViewer::clearLines()
{
    for (Line& l : m_lines)
        l = Line{};
}

LRESULT KaraokeViewer::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (isEngineNotification(msg)) {
        // The engines were given this window; the player is who acts on their notices. It is
        // told at once, so that a song starting shows this viewer before its first words, which
        // wait behind the notice in this window's queue.
        if (m_player)
            m_player->sendMessage(msg, wParam, lParam);
        return 0;
    }
    if (msg == UM_KARAOKE) {
        onKaraoke(static_cast<int>(static_cast<std::int32_t>(wParam)),
                  reinterpret_cast<const void*>(lParam));
        return 0;
    }
    if (msg == WM_TIMER && wParam == kKaraokeTimerId) {
        timerTick();
        return 0;
    }
    return Wnd::onMessage(msg, wParam, lParam);
}

void KaraokeViewer::onKaraoke(int code, const void* record)
{
    if (!m_active)
        return;
    m_lastEvent = std::chrono::steady_clock::now();
    if (code == midi::kKaraokeStart) {
        clearLines();
        if (record) {
            m_lines[0].bytes = static_cast<const char*>(record);
            m_state = TitleShown;
        } else {
            m_state = Idle;
        }
    } else if (code < 0) {
        if (!record || !m_engineMode || m_engineMode() != kModePlaying)
            return;
        midi::KaraokeHighlightRecord r{};
        std::memcpy(&r, record, sizeof r);
        for (int i : {1, 2}) {
            Line& l = m_lines[i];
            if (l.id == 0 || l.id != r.lineId)
                continue;
            const int size = static_cast<int>(l.bytes.size());
            const int end = std::clamp(r.position + std::max(0, r.length), 0, size);
            l.litFrom = code == midi::kKaraokeHighlightFrom ? std::clamp(r.position, 0, end) : 0;
            l.litTo = end;
        }
    } else {
        if (!record) {
            // No line: the lines scroll up twice.
            for (int n = 0; n < 2; ++n) {
                m_lines[1] = m_lines[2];
                m_lines[2] = Line{};
            }
        } else {
            midi::KaraokeLineRecord header{};
            std::memcpy(&header, record, sizeof header);
            Line line;
            line.bytes = static_cast<const char*>(record) + sizeof header;
            line.id = header.lineId;
            if (code > midi::kKaraokeNewPageCode || header.newPage != 0) {
                clearLines();
                m_state = NewPage;
            }
            if (m_state != Running) {
                m_lines[1] = std::move(line);
                m_lines[2] = Line{};
                m_state = Running;
            } else {
                if (!m_lines[2].bytes.empty() && m_lines[2].id != 0)
                    m_lines[1] = std::move(m_lines[2]);
                m_lines[2] = std::move(line);
            }
        }
    }
    update();
}

void KaraokeViewer::timerTick()
{
    if (!m_active)
        return;
    // An instrumental break: what was sung does not stay on screen.
    const bool sung = [this] {
        for (int i : {1, 2}) {
            const Line& l = m_lines[i];
            if (!l.bytes.empty() && l.litTo < static_cast<int>(l.bytes.size()))
                return false;
        }
        return !m_lines[1].bytes.empty();
    }();
    if (sung && std::chrono::steady_clock::now() - m_lastEvent >= kQuietAfter) {
        m_lines[1] = Line{};
        m_lines[2] = Line{};
        m_state = m_lines[0].bytes.empty() ? Idle : TitleShown;
    }
    update();
}

QString KaraokeViewer::decode(const Line& line, int from, int to) const
{
    from = std::clamp(from, 0, static_cast<int>(line.bytes.size()));
    to = std::clamp(to, from, static_cast<int>(line.bytes.size()));
    const std::string_view part(line.bytes.data() + from, static_cast<size_t>(to - from));
    // The whole line tells the encoding: a part of a legacy line may look like UTF-8 by chance.
    if (text::isValidUtf8(line.bytes))
        return QString::fromUtf8(part.data(), static_cast<int>(part.size()));
    if (const auto utf8 = text::convert(part, text::legacyCodePage().c_str(), "UTF-8"))
        return QString::fromStdString(*utf8);
    return QString::fromStdString(text::decodeLegacy(part));
}

QString KaraokeViewer::lineText(int i) const
{
    const Line& l = line(i);
    return decode(l, 0, static_cast<int>(l.bytes.size()));
}

QString KaraokeViewer::litText(int i) const
{
    const Line& l = line(i);
    return decode(l, l.litFrom, l.litTo);
}

void KaraokeViewer::resizeEvent(QResizeEvent* e)
{
    Wnd::resizeEvent(e);
    if (auto* grip = findChild<QSizeGrip*>(QStringLiteral("grip"))) {
        grip->resize(grip->sizeHint());
        grip->move(width() - grip->width(), height() - grip->height());
        grip->raise();
    }
}

void KaraokeViewer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient back(0, 0, 0, height());
    back.setColorAt(0, kBack.lighter(130));
    back.setColorAt(1, kBack);
    p.fillRect(rect(), back);
    QLinearGradient bar(0, 0, 0, kCaptionHeight);
    bar.setColorAt(0, QColor(0x34, 0x40, 0x78));
    bar.setColorAt(1, QColor(0x16, 0x1c, 0x3c));
    p.fillRect(QRect(0, 0, width(), kCaptionHeight), bar);
    QFont small(QStringLiteral("DejaVu Sans"), 8, QFont::Bold);
    p.setFont(small);
    p.setPen(QColor(0xc8, 0xd4, 0xff));
    const QString caption =
        m_title.isEmpty() ? this->caption() : this->caption() + QStringLiteral(" - ") + m_title;
    p.drawText(QRect(6, 0, width() - 12, kCaptionHeight), Qt::AlignVCenter | Qt::AlignLeft,
               p.fontMetrics().elidedText(caption, Qt::ElideRight, width() - 12));

    const int body = height() - kCaptionHeight;
    const int titleHeight = body / 5;
    QFont titleFont(QStringLiteral("DejaVu Sans"));
    titleFont.setPixelSize(std::max(9, titleHeight * 2 / 3));
    p.setFont(titleFont);
    p.setPen(kTitleText);
    p.drawText(QRect(8, kCaptionHeight + 2, width() - 16, titleHeight), Qt::AlignCenter,
               lineText(0));

    QFont lyric(QStringLiteral("DejaVu Sans"), -1, QFont::Bold);
    const int lineHeight = (body - titleHeight - 8) / 2;
    lyric.setPixelSize(std::max(10, lineHeight * 3 / 5));
    for (int i : {1, 2}) {
        const Line& l = m_lines[i];
        if (l.bytes.empty())
            continue;
        // Shrunk to fit a long line rather than cut.
        QFont f = lyric;
        const QString whole = lineText(i);
        while (f.pixelSize() > 8 && QFontMetrics(f).horizontalAdvance(whole) > width() - 16)
            f.setPixelSize(f.pixelSize() - 1);
        p.setFont(f);
        const QFontMetrics fm(f);
        const QString before = decode(l, 0, l.litFrom);
        const QString lit = decode(l, l.litFrom, l.litTo);
        const QString after = decode(l, l.litTo, static_cast<int>(l.bytes.size()));
        const int top = kCaptionHeight + titleHeight + 4 + (i - 1) * lineHeight;
        // The upper line sits to the left, the lower to the right, as sing-along screens do.
        const int total = fm.horizontalAdvance(whole);
        int x = i == 1 ? 12 : std::max(12, width() - 12 - total);
        const int baseline = top + (lineHeight + fm.ascent() - fm.descent()) / 2;
        const auto run = [&](const QString& s, const QColor& c) {
            // A dark outline keeps the words readable over any background.
            QPainterPath path;
            path.addText(x, baseline, f, s);
            p.setRenderHint(QPainter::Antialiasing);
            p.strokePath(path, QPen(QColor(0, 0, 0, 200), 3));
            p.fillPath(path, c);
            x += fm.horizontalAdvance(s);
        };
        run(before, l.litFrom > 0 ? kSung : kToSing);
        run(lit, kSung);
        run(after, kToSing);
    }
    p.setPen(QColor(0x40, 0x50, 0x90));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void KaraokeViewer::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && windowHandle())
        windowHandle()->startSystemMove();
    Wnd::mousePressEvent(e);
}
