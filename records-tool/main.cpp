#include <QCoreApplication>

#include "records-tool/records_cli.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return quarn::records::runRecordsCli(QCoreApplication::arguments());
}
