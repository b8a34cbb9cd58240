#include <QApplication>

#include "app/form_registry.h"
#include "app/forms.h"
#include "app/message_box_widget.h"
#include "startup/form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quarn::installModalMessageBoxes();
    quarn::Form1* start = quarn::form1();
    int code = quarn::exitCode();
    if (start->isLoaded()) {
        start->show();
        code = app.exec();
    }
    quarn::destroyAllForms();
    return code;
}
