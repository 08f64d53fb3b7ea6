#pragma once
// What the album tests share (and the headers they all use): an album as one text, programs run to
// their end (kolvo-cli and the peers), a hand for the next modal dialog, and running as nobody so
// that file permissions hold for root too.

#include "albums/album.h"
#include "platform/compoundfile.h"
#include "platform/msgbox.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "support/clirun.h"
#include "support/testhome.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStringEncoder>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace albumtest {

using Run = ProcessResult;

// "title|artist|genre|extended" (then "|end <frame>|<ms> ms" when the disc is timed and
// "|play <songs>" when there is a program), then "number|title|extended|length|start" a song.
inline std::string albumText(const Album& a)
{
    std::string out = a.title() + '|' + a.artist() + '|' + a.genre() + '|' + a.extendedInfo();
    if (a.discEndFrame() != 0 || a.discLengthMs() != 0)
        out += "|end " + std::to_string(a.discEndFrame()) + '|' + std::to_string(a.discLengthMs()) +
               " ms";
    if (!a.program().empty()) {
        out += "|play";
        for (int32_t n : a.program())
            out += ' ' + std::to_string(n);
    }
    out += '\n';
    for (const SongEntry& s : a.songs())
        out += std::to_string(s.number) + '|' + s.title + '|' + s.extendedInfo + '|' +
               std::to_string(s.lengthMs) + '|' + std::to_string(s.startFrame) + '\n';
    return out;
}

// The songs' titles (a file album's paths), in order.
inline std::vector<std::string> songTitles(const Album& a)
{
    std::vector<std::string> out;
    for (const SongEntry& s : a.songs())
        out.push_back(s.title);
    return out;
}

// `env` adds NAME=value settings to this process's environment for the one run.
inline Run run(const QString& program, const QStringList& args, const QStringList& env = {},
               int timeoutMs = 60000)
{
    return runProgram(program, args, timeoutMs, env);
}

// kolvo-cli on the given home.
inline Run cli(const std::string& home, const QStringList& args, const QStringList& env = {})
{
    return run(QString::fromStdString(builtProgram("kolvo-cli")),
               QStringList{QStringLiteral("--home"), QString::fromStdString(home)} + args, env);
}

// Shows the window, waits until it is the active one and gives `w` the focus.
inline void focusIn(QWidget& window, QWidget* w)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    w->setFocus();
    QApplication::processEvents();
}

// Runs f on the next modal dialog that comes up, whatever its type, while it lives.
class NextModal
{
public:
    explicit NextModal(std::function<void(QDialog*)> f)
        : m_f(std::move(f))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                m_timer.stop();
                m_seen = true;
                m_f(dialog);
            }
        });
        m_timer.start();
    }
    bool seen() const { return m_seen; }

private:
    std::function<void(QDialog*)> m_f;
    QTimer m_timer;
    bool m_seen = false;
};

// Permissions do not stop root: as root, the test goes on as nobody from here, with the folders
// from `path`'s up to `home` opened to nobody; it is root again at back() or at the end.
class AsNobody
{
public:
    AsNobody(const std::string& path, const std::string& home)
    {
        if (!runningAsRoot())
            return;
        for (QString dir = QFileInfo(QString::fromStdString(path)).path();;
             dir = QFileInfo(dir).path()) {
            ::chmod(dir.toLocal8Bit().constData(), 0755);
            if (dir == QString::fromStdString(home) || dir.size() <= 1)
                break;
        }
        m_active = ::seteuid(65534) == 0;
        EXPECT_TRUE(m_active) << "cannot become nobody";
    }
    ~AsNobody() { back(); }
    AsNobody(const AsNobody&) = delete;
    AsNobody& operator=(const AsNobody&) = delete;
    void back()
    {
        if (m_active && ::seteuid(0) != 0)
            std::abort();
        m_active = false;
    }

private:
    bool m_active = false;
};

// A home with the interface in English where every message box is answered by the test: what
// was told is kept (text alone in `messages`), a Yes/No question gets `answer`.
class ToldTest : public KolvoHomeTest
{
protected:
    struct Told
    {
        std::string caption;
        std::string text;
    };

    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        setMessageBoxHook(
            [this](const QString& caption, const QString& text, MessageIcon, MessageButtons b) {
                told.push_back({caption.toStdString(), text.toStdString()});
                messages.push_back(text.toStdString());
                return b == MessageButtons::YesNo ? answer : IDOK;
            });
    }
    void TearDown() override
    {
        setMessageBoxHook({});
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }
    void forget()
    {
        told.clear();
        messages.clear();
    }

    std::vector<Told> told;
    std::vector<std::string> messages;
    int answer = IDYES;
};

// Saves a window's picture for review under <build>/test-screenshots and fails when the grab shows
// nothing drawn: a window whose model or delegate broke paints one or two flat colours, while
// rows of text give many shades of their anti-aliased glyphs.
inline void saveReviewShot(QWidget& window, const QString& fileName)
{
    const QString dir = QStringLiteral(KOLVO_BIN_DIR "/../test-screenshots");
    QDir().mkpath(dir);
    const QImage shot = window.grab().toImage();
    ASSERT_TRUE(shot.save(dir + QLatin1Char('/') + fileName));
    std::set<QRgb> shades;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            shades.insert(shot.pixel(x, y));
    EXPECT_GT(shades.size(), 32u) << fileName.toStdString() << " shows nothing drawn";
}

} // namespace albumtest
