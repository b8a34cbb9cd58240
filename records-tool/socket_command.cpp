#include "records-tool/socket_command.h"

#include <QCoreApplication>

#include "approval/approved_images.h"
#include "database/schema.h"
#include "figures/socket_sql.h"
#include "pg/connection.h"
#include "records-tool/records_exit.h"

namespace quarn::records {

int socketServiceCommand(const QString& url, const QString& station, const QString& slot,
                         const QString& note) {
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(url);
    if (!target.error.isEmpty()) return recordsDoor().fail(target.error, kRecordsUsage);
    pg::Connection c;
    QString why;
    if (!c.open(target, &why) || !c.limit(pg::statementLimitMs(), &why))
        return recordsDoor().fail(
            why, c.openProblem() == pg::Problem::Denied ? kRecordsDenied : kRecordsUnreachable);
    QString by;
    QDateTime at;
    pg::QueryFailure f;
    if (figures::recordSocketService(c.db(), station, slot, note, &by, &at, &f)) {
        sayLine(stdout,
                QCoreApplication::translate("quarn-records", "serviced %1 at %2 by %3 on %4")
                    .arg(slot, station, by, approval::approvalTimeText(at)));
        return kRecordsDone;
    }
    if (f.problem != pg::Problem::Denied) return recordsDoor().fail(f.error, kRecordsUnreachable);
    return recordsDoor().fail(
        pg::notPermittedText(QCoreApplication::translate("Connection", "servicing a socket"),
                             QLatin1String(database::kEngineerRole)),
        kRecordsDenied);
}

}  // namespace quarn::records
