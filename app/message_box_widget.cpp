#include "app/message_box_widget.h"

#include <QApplication>
#include <QMessageBox>

#include "app/message_box.h"

namespace quarn {

void installModalMessageBoxes() {
    setMsgBoxHandler([](const QString& prompt, int style, const QString& title) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        if (style == kStyleInformation) icon = QMessageBox::Information;
        else if (style == kStyleExclamation) icon = QMessageBox::Warning;
        QMessageBox box(icon, title, prompt, QMessageBox::Ok, QApplication::activeWindow());
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
        return 1;
    });
}

}  // namespace quarn
