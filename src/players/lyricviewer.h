#pragma once
// The lyric viewer: a popup beside the player that shows the text or rich-text file stored
// next to the playing song, without taking the focus from where the user works.

#include "platform/wnd.h"

#include <QString>

#include <string>

class QTextBrowser;
class QTextDocument;
struct RtfDocument;

class LyricViewer : public Wnd
{
    Q_OBJECT
public:
    // `instance` numbers the viewer's settings section, "LyricViewer_<instance>".
    explicit LyricViewer(int instance);
    ~LyricViewer() override;

    // Shows "<song without extension>.rtf", else ".txt" (a name differing only in case when the
    // exact one is missing); returns 1. Leaves everything as it was when neither exists.
    int showLyric(const std::string& songPath);
    void clearLyric();

    QString title() const { return m_title; }
    bool isRichText() const { return m_richText; }
    QTextDocument* document() const;

    static QString caption() { return QStringLiteral("Kolvo Lyric Screen"); }
    static constexpr int kCaptionHeight = 18;

signals:
    // Escape in the viewer: the user wants it gone. The owner turns its lyric setting off, so
    // that the next song does not bring the window straight back.
    void dismissed();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void saveRect();

    int m_instance;
    QString m_title;
    bool m_richText = false;
    QTextBrowser* m_text = nullptr;
};

// Fills a document from a parsed rich-text file; runs without a colour keep the viewer's own.
void FillDocument(QTextDocument& doc, const RtfDocument& rtf);
