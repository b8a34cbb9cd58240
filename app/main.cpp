// The program starts at its start-up window and ends when the last window has
// unloaded: exit status 0 after a good download, Exit or Cancel; 1 when
// Init.txt was refused.

#include <QApplication>
#include <cstdio>

#include "app/forms.h"
#include "core/message_box.h"
#include "ui/message_box_widget.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    // Test hook: with QUARN_AUTO_ANSWER_BOXES=1 every message box is written to
    // standard output as one line, "BOX <style> <title>: <prompt>", and answered
    // OK at once instead of waiting for a click, so that a test can run this
    // binary where nobody can answer a modal box.
    if (qgetenv("QUARN_AUTO_ANSWER_BOXES") == "1") {
        quarn::setMsgBoxHandler([](const quarn::MsgBoxRequest& box) {
            std::printf("BOX %d %s: %s\n", box.style, box.title.toLocal8Bit().constData(),
                        box.prompt.toLocal8Bit().constData());
            std::fflush(stdout);
            return 1;
        });
    } else {
        quarn::installModalMessageBoxes();
    }
    return quarn::runProgram();
}
