#pragma once
// The one way the programs show a message box. Every box goes through
// showBox() (MsgBox() for the download window's procedures), so a test can
// install a handler that reads the prompt, icon, buttons, title and
// informative text and answers in place of the user.
//
// A box has an icon (none, information, exclamation, question) and an OK
// button, or Yes and No. The informative text, when not empty, is the
// smaller text under the prompt: why something failed and what to do about
// it. The call returns when the box has been answered (modal); the result is
// kAnswerOk, or kAnswerYes / kAnswerNo for a Yes/No box.
//
// The download window's procedures name a box's style by the integers they
// were written with (64 information, 48 exclamation, 32 question, 0 no icon;
// 4 added for Yes and No): MsgBox() takes those, and style() gives them back.

#include <QString>
#include <functional>

namespace quarn {

enum class BoxIcon { None, Information, Exclamation, Question };
enum class BoxButtons { Ok, YesNo };

// The style integers of the download window's procedures.
constexpr int kStyleNone = 0;
constexpr int kStyleExclamation = 48;
constexpr int kStyleInformation = 64;
constexpr int kStyleQuestion = 32;
constexpr int kButtonsYesNo = 4;
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

struct MsgBoxRequest {
    QString prompt;
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
    QString title;
    QString informative;
    // The box as the download window's procedures name it (48, 32 | 4, ...).
    int style() const;
};

using MsgBoxHandler = std::function<int(const MsgBoxRequest& box)>;

int showBox(const MsgBoxRequest& box);
// The download window's procedures' call: style as they name it.
int MsgBox(const QString& prompt, int style, const QString& title,
           const QString& informative = QString());

// A note for the user from a layer that shows no box (a settings file that
// could not be written): it is added, on a line of its own, to the
// informative text of the next box, once. Any thread may add one.
void addBoxNote(const QString& note);

// Replaces the handler; returns the previous one. The program installs a real
// modal QMessageBox handler at start; without any handler MsgBox returns 1 at once.
MsgBoxHandler setMsgBoxHandler(MsgBoxHandler handler);

}  // namespace quarn
