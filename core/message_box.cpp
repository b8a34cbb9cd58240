#include "core/message_box.h"

#include <utility>

namespace quarn {

namespace {
MsgBoxHandler& handler() {
    static MsgBoxHandler h;
    return h;
}
}  // namespace

int MsgBox(const QString& prompt, int style, const QString& title, const QString& informative) {
    // Copy first: the handler may replace itself while its box is open.
    MsgBoxHandler h = handler();
    return h ? h(MsgBoxRequest{prompt, style, title, informative}) : 1;
}

MsgBoxHandler setMsgBoxHandler(MsgBoxHandler h) { return std::exchange(handler(), std::move(h)); }

}  // namespace quarn
