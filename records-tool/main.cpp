#include <QCoreApplication>

#include "core/translations.h"
#include "records-tool/records_cli.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    quarn::installTranslations();  // the messages in the operator's language
    return quarn::records::runRecordsCli(QCoreApplication::arguments());
}
