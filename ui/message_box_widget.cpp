#include "ui/message_box_widget.h"

#include <QApplication>
#include <QMessageBox>

#include "core/message_box.h"

namespace quarn {

void installModalMessageBoxes() {
    setMsgBoxHandler([](const MsgBoxRequest& r) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        if (r.style == kStyleInformation)
            icon = QMessageBox::Information;
        else if (r.style == kStyleExclamation)
            icon = QMessageBox::Warning;
        QMessageBox box(icon, r.title, r.prompt, QMessageBox::Ok, QApplication::activeWindow());
        box.setInformativeText(r.informative);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
        return 1;
    });
}

}  // namespace quarn
