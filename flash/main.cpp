// quarn-flash: downloads from the command line, one unit or many at once.
#include <QCoreApplication>

#include "flash/flash_app.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarn-flash"));
    return quarn::flash::runFlash();
}
