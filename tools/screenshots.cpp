// quarn-screenshots OUTDIR: runs the program in the current folder (which
// holds an Init.txt and its download file) against a simulated unit on COM1,
// clicking through it itself, and saves a picture of each window on the way:
// form1.png (the preparation steps), form2.png (port selection with Com1
// chosen), form24.png (the download window half-way through the blocks) and
// form14.png (the Info window). Run under Xvfb by scripts/screenshots.sh; message
// boxes are answered at once.

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/forms.h"
#include "core/message_box.h"
#include "info/form14.h"
#include "session/form24.h"
#include "sim/unit_sim.h"
#include "startup/form1.h"
#include "startup/form2.h"
#include "ui/globals.h"

namespace {

QString g_out;
bool g_failed = false;

void save(QWidget* w, const char* name) {
    const QString path = QDir(g_out).filePath(QString::fromLatin1(name));
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        g_failed = true;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// The simulated unit on COM1; every box is printed and answered OK.
bool startUnit(sim::UnitSim& unit) {
    std::string error;
    if (!unit.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return false;
    }
    qputenv("QUARN_COM1", QByteArray::fromStdString(unit.devicePath()));
    quarn::setMsgBoxHandler([](const quarn::MsgBoxRequest& box) {
        std::printf("box %s: %s\n", qPrintable(box.title), qPrintable(box.prompt));
        return 1;
    });
    return true;
}
}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarn-screenshots OUTDIR (run in a folder with Init.txt)\n");
        return 2;
    }
    g_out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(g_out);

    // Paced like a 9600 bit/s line, so the session is caught in the middle.
    sim::Config config;
    config.baud = 9600;
    sim::UnitSim unit(config);
    if (!startUnit(unit)) return 1;

    // While the blocks go out: the download window, then the Info window.
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        quarn::Form24* download = quarn::form24IfLoaded();
        // Three transmissions before the blocks, then 65 for each block
        // (opener, checksum and data): half of the demo's 128 blocks.
        if (!download || download->link.Transmit_counter < 3 + 64 * 65) return;
        during.stop();
        save(download, "form24.png");
        download->mnu_help_info_Click();
        save(quarn::form14IfLoaded(), "form14.png");
        quarn::form14IfLoaded()->Unload();
    });

    QTimer::singleShot(0, [&] {
        quarn::Form1* start = quarn::form1IfLoaded();
        save(start, "form1.png");
        start->Continue->click();
        quarn::Form2* ports = quarn::form2IfLoaded();
        ports->Com_select[0]->click();
        save(ports, "form2.png");
        during.start(20);
        ports->Continue1->click();  // the session runs in here
    });
    // A session that never gets going would leave the program waiting for a click.
    QTimer::singleShot(60000, [] {
        std::fprintf(stderr, "the session did not get half-way in time\n");
        g_failed = true;
        QCoreApplication::exit(1);
    });
    const int code = quarn::runProgram();
    return g_failed ? 1 : code;
}
