#include "ui/message_box_widget.h"

#include <QApplication>
#include <QMessageBox>

#include "core/message_box.h"

namespace quarn {

void installModalMessageBoxes() {
    setMsgBoxHandler([](const MsgBoxRequest& r) {
        const int iconStyle = r.style & ~kButtonsYesNo;
        const bool yesNo = (r.style & kButtonsYesNo) != 0;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        if (iconStyle == kStyleInformation)
            icon = QMessageBox::Information;
        else if (iconStyle == kStyleExclamation)
            icon = QMessageBox::Warning;
        else if (iconStyle == kStyleQuestion)
            icon = QMessageBox::Question;
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
