#include "ui/message_box_widget.h"

#include <QApplication>
#include <QMessageBox>

#include "core/message_box.h"

namespace quarn {

void installModalMessageBoxes() {
    setMsgBoxHandler([](const MsgBoxRequest& r) {
        // In the order of BoxIcon.
        constexpr QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                                QMessageBox::Warning, QMessageBox::Question};
        const QMessageBox::Icon icon = kIcons[int(r.icon)];
        const bool yesNo = r.buttons == BoxButtons::YesNo;
        const auto buttons = yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
        QMessageBox box(icon, r.title, r.prompt, buttons, QApplication::activeWindow());
        box.setInformativeText(r.informative);
        box.setWindowModality(Qt::ApplicationModal);
        const int answer = box.exec();
        if (!yesNo) return kAnswerOk;
        return answer == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    });
}

}  // namespace quarn
