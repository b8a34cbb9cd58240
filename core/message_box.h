#pragma once
// The one way the program shows a message box. Every box in the program goes
// through MsgBox(), so a test can install a handler that reads the prompt,
// style, title and informative text and answers in place of the user.
//
// Styles: 64 = information icon, 48 = exclamation icon, 32 = question icon,
// 0 = no icon; an OK button, or Yes and No when kButtonsYesNo is added. The informative text, when
// not empty, is the smaller text under the prompt: why something failed and what to do about it.
// The call returns when the box has been answered (modal); the result is kAnswerOk, or kAnswerYes /
// kAnswerNo for a Yes/No box.

#include <QString>
#include <functional>

namespace quarn {

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
    int style = kStyleNone;
    QString title;
    QString informative;
};

using MsgBoxHandler = std::function<int(const MsgBoxRequest& box)>;

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
