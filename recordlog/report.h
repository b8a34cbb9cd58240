#pragma once
// What the records say, grouped: sessions, good, failed by outcome, first-pass
// yield and median seconds. The same figures from the database (one query)
// or from a local log (read through); the approval mismatches, which need
// the server's verdict, from the database alone. First-pass yield counts units as
// record/first_pass.h defines them (a serial number is one unit, judged by
// its first session that was not interrupted, on any station); a unit is
// counted in the group of the session that decides it. Second-pass and final
// yield and the attempts are record/attempts.h's, counted in the same group
// (its first attempt's); a held record is no session and counts as held alone.

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>

#include "record/outcome.h"
#include "record/slot_flags.h"

namespace quarn::recordlog {

struct ReportRequest {
    QString by;          // "", day, station, file, slot or operator
    QDateTime since;     // invalid: every record
    bool exact = false;  // database: counted from the sessions, not the summaries
    // By slot: a socket with more sessions since its last service is due
    // for one ([plant] socket-life; 0: none is).
    qint64 socketLife = 0;
    // One station (exact name; empty: every one), and one image as
    // RecordFilter takes it (recordlog/record_filter.h; a log knows no
    // titles, so there only a sha256 prefix matches).
    QString station = {}, image = {};
};

struct ReportRow {
    QString key;  // the group's value (a day yyyy-MM-dd, a station, ...); "" for all
    qint64 sessions = 0;
    qint64 good = 0;
    QMap<QString, qint64> failed;  // by outcome; every failing outcome present
    qint64 units = 0;              // for first-pass yield
    qint64 firstPassGood = 0;
    qint64 secondPassGood = 0;   // units good by their second attempt
    qint64 finalGood = 0;        // units whose latest attempt is good
    qint64 held = 0;             // records refused by the retest limit (no session)
    QMap<int, qint64> attempts;  // units by their number of attempts
    double medianSeconds = -1;   // -1: no session had seconds
    // Sessions whose station's claim (approved) differs from the server's
    // verdict (server_approved), both known (database/schema.h mismatchSql);
    // -1 where the server gives no verdict: a log, or a table not brought
    // up to date.
    qint64 approvalMismatches = -1;
};

struct Report {
    QList<ReportRow> rows;  // ordered by key
    QString error;          // not empty: no report (unreachable, unreadable log)
    bool usage = false;     // the error is the request's (an unusable URL)
    bool denied = false;    // the database refused for lack of rights (the role is named)
    // By slot: every (station, slot) judged by the slot rule (slot_flags.h).
    QList<record::SocketVerdict> sockets;
};

// The grouping keys --by takes. The failing outcomes, in report order, are
// record/outcome.h's failingOutcomes().
const QStringList& reportGroupings();

Report reportFromLog(const QString& logPath, const ReportRequest& request,
                     const std::function<void(const QString&)>& warn);

// Without a grouping a report has its one row, zeros when nothing matched.
void completeReport(Report& report, const ReportRequest& request);

// A table for people, and a JSON array of objects. By slot, a row whose
// slot is flagged at some station says where: the text's last column
// ("check") names the stations and a line per flagged socket follows the
// table (socketWarning); the JSON's "check" is an array of
// {station, sessions, failed, others_rate}, empty when none. By slot, the
// text's "repeats/s" is the slot's block repeats per session (its sockets
// summed), and a table of every socket follows the first: station, short
// name, sessions, failed %, repeats per session, sessions since service
// ("-" from a log) and which rules flag it (failures, repeats, service),
// then a line per flag (slot_flags.h socketWarnings). The JSON's row has
// "repeats", "repeats_per_session" (null without sessions) and "sockets":
// one object per station with the slot: station, sessions, failed,
// repeats, repeats_per_session, since_service (null from a log) and
// "flags" (an array of "failures", "repeats", "service"). The JSON's
// "approval_mismatch" is the row's approvalMismatches, null where unknown;
// the text says the mismatches, when any, in a line after the table.
QString reportText(const Report& report, const ReportRequest& request);
QByteArray reportJson(const Report& report, const ReportRequest& request);

}  // namespace quarn::recordlog
