#include "players/lyricviewer.h"

#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "players/rtf.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QWindow>

namespace {

constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 400;
constexpr int kBorder = 2;

std::string sectionOf(int instance)
{
    return "LyricViewer_" + std::to_string(instance);
}

// The file beside the song with its extension replaced by `suffix`; "" when there is none.
// Songs and their texts often come from Windows, where "Song.TXT" beside "Song.wav" is the
// same name: when the exact name is missing, a name differing only in case will do.
QString companionFile(const std::string& songPath, const char* suffix)
{
    const QFileInfo fi(QString::fromStdString(songPath));
    const QString name = fi.completeBaseName() + QLatin1String(suffix);
    const QDir dir(fi.path());
    if (QFileInfo(dir.filePath(name)).isFile())
        return dir.filePath(name);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return {};
}

} // namespace

void FillDocument(QTextDocument& doc, const RtfDocument& rtf)
{
    doc.clear();
    QTextCursor cursor(&doc);
    bool first = true;
    for (const RtfParagraph& para : rtf.paragraphs) {
        if (!first)
            cursor.insertBlock();
        first = false;
        for (const RtfRun& run : para.runs) {
            QTextCharFormat f;
            f.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
            f.setFontItalic(run.italic);
            f.setFontUnderline(run.underline);
            f.setFontPointSize(run.halfPoints / 2.0);
            if (run.color)
                f.setForeground(QColor::fromRgb(*run.color));
            cursor.insertText(QString::fromStdString(run.text), f);
        }
    }
}

LyricViewer::LyricViewer(int instance)
    : Wnd(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_instance(instance)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(caption());
    m_text = new QTextBrowser(this);
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setOpenLinks(false);
    auto* grip = new QSizeGrip(this);
    grip->setObjectName(QStringLiteral("grip"));
    setMinimumSize(120, 80);

    const QRect area = DesktopWorkArea();
    const QRect fallback(area.left() + (area.width() - kDefaultWidth) / 2,
                         area.top() + (area.height() - kDefaultHeight) / 2, kDefaultWidth,
                         kDefaultHeight);
    setGeometry(FitToWorkArea(ReadWindowRect(Profile(), sectionOf(instance)), area, fallback));
}

LyricViewer::~LyricViewer()
{
    saveRect();
}

void LyricViewer::saveRect()
{
    Profile profile;
    WriteWindowRect(profile, sectionOf(m_instance), geometry());
    profile.sync();
}

QTextDocument* LyricViewer::document() const
{
    return m_text->document();
}

int LyricViewer::showLyric(const std::string& songPath)
{
    QString path = companionFile(songPath, ".rtf");
    const bool rich = !path.isEmpty();
    if (!rich) {
        path = companionFile(songPath, ".txt");
        if (path.isEmpty())
            return 1;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 1;
    // A file that cannot be read to its end shows what was read.
    const QByteArray bytes = f.readAll();
    m_title = QFileInfo(path).fileName();
    m_richText = rich;
    QPalette pal = m_text->palette();
    if (rich) {
        pal.setColor(QPalette::Base, palette().color(QPalette::Base));
        pal.setColor(QPalette::Text, palette().color(QPalette::Text));
        m_text->setPalette(pal);
        FillDocument(*m_text->document(),
                     ParseRtf(std::string_view(bytes.constData(), bytes.size())));
    } else {
        pal.setColor(QPalette::Base, Qt::black);
        pal.setColor(QPalette::Text, Qt::white);
        m_text->setPalette(pal);
        // setPlainText keeps the editor's current character format, which a rich lyric before
        // this one left at its last run's size and weight.
        m_text->clear();
        m_text->setCurrentCharFormat(QTextCharFormat());
        m_text->setPlainText(QString::fromStdString(
            text::decodeLegacy(std::string_view(bytes.constData(), bytes.size()))));
    }
    show();
    update();
    return 1;
}

void LyricViewer::clearLyric()
{
    m_title.clear();
    update();
    hide();
}

void LyricViewer::resizeEvent(QResizeEvent* e)
{
    Wnd::resizeEvent(e);
    m_text->setGeometry(kBorder, kCaptionHeight, width() - 2 * kBorder,
                        height() - kCaptionHeight - kBorder);
    if (auto* grip = findChild<QSizeGrip*>(QStringLiteral("grip"))) {
        grip->resize(grip->sizeHint());
        grip->move(width() - grip->width(), height() - grip->height());
        grip->raise();
    }
}

void LyricViewer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0x14, 0x10, 0x0a));
    QLinearGradient g(0, 0, 0, kCaptionHeight);
    g.setColorAt(0, QColor(0x4a, 0x3e, 0x24));
    g.setColorAt(1, QColor(0x22, 0x1c, 0x10));
    p.fillRect(QRect(0, 0, width(), kCaptionHeight), g);
    p.setPen(QColor(0xf0, 0xc8, 0x60));
    QFont font(QStringLiteral("DejaVu Sans"), 8, QFont::Bold);
    p.setFont(font);
    const QString text =
        m_title.isEmpty() ? caption() : caption() + QStringLiteral(" - ") + m_title;
    p.drawText(QRect(6, 0, width() - 12, kCaptionHeight), Qt::AlignVCenter | Qt::AlignLeft,
               p.fontMetrics().elidedText(text, Qt::ElideRight, width() - 12));
    p.setPen(QColor(0x60, 0x50, 0x30));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void LyricViewer::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        emit dismissed();
        return;
    }
    Wnd::keyPressEvent(e);
}

void LyricViewer::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && e->position().y() < kCaptionHeight && windowHandle())
        windowHandle()->startSystemMove();
    Wnd::mousePressEvent(e);
}
