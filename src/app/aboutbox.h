#pragma once
// The About box: the program's name and version, the Qt and GStreamer versions it runs on and
// the licence note, with one button that closes it. Modal to the window that opens it.

#include <QDialog>

class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    // Everything the box says, in reading order (what a test or a screen reader gets).
    QString text() const;

private:
    QString m_text;
};
