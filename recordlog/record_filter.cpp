#include "recordlog/record_filter.h"

namespace quarn::recordlog {

QDateTime parseReportSince(const QString& text) {
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid()) t = QDate::fromString(text, Qt::ISODate).startOfDay(Qt::UTC);
    return t;
}

}  // namespace quarn::recordlog
