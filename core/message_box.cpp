#include "core/message_box.h"

#include <QMutex>
#include <QStringList>
#include <utility>

namespace quarn {

namespace {
MsgBoxHandler& handler() {
    static MsgBoxHandler h;
    return h;
}

QMutex g_notesMutex;
QStringList g_notes;

QString withNotes(const QString& informative) {
    const QMutexLocker lock(&g_notesMutex);
    QStringList parts = std::exchange(g_notes, {});
    if (!informative.isEmpty()) parts.prepend(informative);
    return parts.join(QLatin1Char('\n'));
}
}  // namespace

void addBoxNote(const QString& note) {
    const QMutexLocker lock(&g_notesMutex);
    g_notes << note;
}

int MsgBox(const QString& prompt, int style, const QString& title, const QString& informative) {
    // Copy first: the handler may replace itself while its box is open.
    MsgBoxHandler h = handler();
    return h ? h(MsgBoxRequest{prompt, style, title, withNotes(informative)}) : 1;
}

MsgBoxHandler setMsgBoxHandler(MsgBoxHandler h) { return std::exchange(handler(), std::move(h)); }

}  // namespace quarn
