#pragma once
// Message boxes carry the program title as caption and an information or error icon.
// With KOLVO_NONINTERACTIVE=1 (tests, headless runs) the text goes to stderr instead and
// the box answers as if its default button had been pressed.

#include <QString>

#include <functional>

class QWidget;

enum class MessageIcon { Information, Error, Warning, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
// Results, with the values of the classic message box.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

int KolvoMessageBox(QWidget* parent, const QString& text, MessageIcon icon,
                    MessageButtons buttons = MessageButtons::Ok, const QString& caption = {});

// Lets tests see what would have been shown and choose the answer.
using MessageBoxHook = std::function<int(const QString& caption, const QString& text,
                                         MessageIcon icon, MessageButtons buttons)>;
void setMessageBoxHook(MessageBoxHook hook);
