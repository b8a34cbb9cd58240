#include "core/message_box.h"

#include <QMutex>
#include <QStringList>
#include <iterator>
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

// The icons in the order of BoxIcon, as the style integers name them.
constexpr int kIconStyles[] = {kStyleNone, kStyleInformation, kStyleExclamation, kStyleQuestion};

int MsgBoxRequest::style() const {
    return kIconStyles[int(icon)] | (buttons == BoxButtons::YesNo ? kButtonsYesNo : 0);
}

int showBox(const MsgBoxRequest& box) {
    // Copy first: the handler may replace itself while its box is open.
    MsgBoxHandler h = handler();
    if (!h) return 1;
    MsgBoxRequest shown = box;
    shown.informative = withNotes(box.informative);
    return h(shown);
}

int MsgBox(const QString& prompt, int style, const QString& title, const QString& informative) {
    MsgBoxRequest box{prompt, BoxIcon::None, BoxButtons::Ok, title, informative};
    const int icon = style & ~kButtonsYesNo;
    for (int i = 0; i < int(std::size(kIconStyles)); ++i)
        if (kIconStyles[i] == icon) box.icon = BoxIcon(i);
    if (style & kButtonsYesNo) box.buttons = BoxButtons::YesNo;
    return showBox(box);
}

MsgBoxHandler setMsgBoxHandler(MsgBoxHandler h) { return std::exchange(handler(), std::move(h)); }

}  // namespace quarn
