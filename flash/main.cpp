// quarn-flash: downloads from the command line, one unit or many at once.
#include <QCoreApplication>

#include "core/translations.h"
#include "flash/flash_app.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarn-flash"));
    quarn::installTranslations();  // the messages in the operator's language
    return quarn::flash::runFlash();
}
