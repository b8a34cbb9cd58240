#include "records-tool/records_exit.h"

namespace quarn::records {

const FrontDoor& recordsDoor() {
    static const FrontDoor door(QStringLiteral("quarn-records"));
    return door;
}

void sayLine(FILE* to, const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), to);
}

}  // namespace quarn::records
