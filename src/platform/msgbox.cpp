#include "platform/msgbox.h"

#include "platform/strings.h"

#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace {

MessageBoxHook g_hook;

constexpr UINT kTitleStringId = 2042;

int defaultAnswer(MessageButtons buttons)
{
    return (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel) ? IDYES
                                                                                        : IDOK;
}

} // namespace

void setMessageBoxHook(MessageBoxHook hook)
{
    g_hook = std::move(hook);
}

int KolvoMessageBox(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons,
                    const QString& captionIn)
{
    const QString caption = captionIn.isEmpty() ? LoadQString(kTitleStringId) : captionIn;
    if (g_hook)
        return g_hook(caption, text, icon, buttons);
    const char* ni = std::getenv("KOLVO_NONINTERACTIVE");
    if (ni && *ni && *ni != '0') {
        std::fprintf(stderr, "%s: %s\n", caption.trimmed().toUtf8().constData(),
                     text.toUtf8().constData());
        return defaultAnswer(buttons);
    }
    QMessageBox box(parent);
    box.setWindowTitle(caption.trimmed());
    box.setText(text);
    switch (icon) {
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDCANCEL;
    }
}
