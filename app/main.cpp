// The program starts at its start-up window and ends when the last window has
// unloaded: exit status 0 after a good download, Exit or Cancel; 1 when
// Init.txt was refused. The command line (app/command_line.h) is read first,
// before any application object, so that the options that show no window
// need no display.

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

#include "app/command_line.h"
#include "app/forms.h"
#include "approval/gate_read.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "ports/port_commands.h"
#include "ui/message_box_widget.h"

namespace {

int runCommand(int argc, char* argv[], const quarn::CommandLine& cl) {
    QCoreApplication core(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return cl.action == quarn::CommandLine::Action::ListPorts
               ? quarn::listPortsCommand(out, err)
               : quarn::assignPortCommand(cl.assign, out, err);
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const quarn::CommandLine cl = quarn::parseCommandLine(arguments);
    switch (cl.action) {
        case quarn::CommandLine::Action::Print:
            std::fputs(cl.text.toLocal8Bit().constData(), cl.status == 0 ? stdout : stderr);
            return cl.status;
        case quarn::CommandLine::Action::ListPorts:
        case quarn::CommandLine::Action::Assign:
            return runCommand(argc, argv, cl);
        case quarn::CommandLine::Action::Windows:
            break;
    }
    // Qt would abort (status 134) with a long platform message.
    if (!quarn::displayAvailable()) {
        std::fputs(
            "quarn-download: no display (DISPLAY and WAYLAND_DISPLAY are not set): the windows "
            "cannot be shown; run it in a desktop session, or see --help\n",
            stderr);
        return 1;
    }
    QApplication app(argc, argv);

    // Test hook: with QUARN_AUTO_ANSWER_BOXES=1 every message box is written to
    // standard output as one line, "BOX <style> <title>: <prompt>", and answered
    // OK at once instead of waiting for a click, so that a test can run this
    // binary where nobody can answer a modal box.
    if (quarn::environmentText(quarn::SettingKey::AutoAnswerBoxes) == QStringLiteral("1")) {
        quarn::setMsgBoxHandler([](const quarn::MsgBoxRequest& box) {
            std::printf("BOX %d %s: %s\n", box.style(), box.title.toLocal8Bit().constData(),
                        box.prompt.toLocal8Bit().constData());
            std::fflush(stdout);
            return 1;
        });
    } else {
        quarn::installModalMessageBoxes();
    }
    QString init = cl.init;
    if (cl.choose) {
        // Started from the menu: no Init.txt where it starts. Cancel ends quietly.
        init = quarn::chooseInitFor(init);
        if (init.isEmpty()) return 0;
    }
    // A read of the approved list still waiting on a silent database is left behind.
    return quarn::approval::leaveReadsBehind(quarn::runProgram(quarn::enterInitFolder(init)));
}
