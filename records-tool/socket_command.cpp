#include "records-tool/socket_command.h"

#include <QCoreApplication>

#include "approval/approved_images.h"
#include "database/connection.h"
#include "database/push.h"
#include "database/schema.h"
#include "database/socket_sql.h"
#include "records-tool/records_cli.h"

namespace quarn::records {

int socketServiceCommand(const QString& url, const QString& station, const QString& slot,
                         const QString& note) {
    const DatabaseTarget target = parseDatabaseUrl(url);
    if (!target.error.isEmpty()) return recordsDoor().fail(target.error, kRecordsUsage);
    Connection c;
    QString why;
    if (!c.open(target, &why) || !c.limit(statementLimitMs(), &why))
        return recordsDoor().fail(
            why, c.openProblem() == Problem::Denied ? kRecordsDenied : kRecordsUnreachable);
    QString by;
    QDateTime at;
    QueryFailure f;
    if (recordSocketService(c.db(), station, slot, note, &by, &at, &f)) {
        sayLine(stdout,
                QCoreApplication::translate("quarn-records", "serviced %1 at %2 by %3 on %4")
                    .arg(slot, station, by, approvalTimeText(at)));
        return kRecordsDone;
    }
    if (f.problem != Problem::Denied) return recordsDoor().fail(f.error, kRecordsUnreachable);
    return recordsDoor().fail(
        notPermittedText(QCoreApplication::translate("Connection", "servicing a socket"),
                         QLatin1String(kEngineerRole)),
        kRecordsDenied);
}

}  // namespace quarn::records
