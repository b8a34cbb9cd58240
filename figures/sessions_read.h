#pragma once
// The sessions behind a figure (a Pareto bar, a socket, a station's hour),
// newest first, a page at a time: the next page starts after the last row
// of this one, by its key (started, id), never by an offset, so a page is
// as quick at the end of the month as at its start and a push meanwhile
// neither repeats nor skips a row. Only sessions with a start time: every
// figure they stand behind belongs to a period. quarn-plant-web's
// /api/v1/sessions answers with sessionsJson.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

#include "recordlog/record_filter.h"

namespace quarn::figures {

struct SessionsQuery {
    recordlog::RecordFilter filter;  // period, station, image
    QString slot;                    // exact; empty: every slot
    QString outcome;                 // exact; empty: every outcome
    QString stage;                   // as record/outcome.h sessionStage names it; empty: any
    QString before;                  // the id of the last row of the page before; empty: the newest
    int limit = 50;
};

inline constexpr int kSessionsPageMax = 500;

struct SessionRow {
    QString id;
    QDateTime started;
    QString station, slot, operatorName, serial, file, imageSha256;
    QString outcome, stage, message;
    std::optional<double> seconds;
    qint64 repeats = 0;
    std::optional<bool> approved, verdict;
    QString pushedBy;  // empty: not known
};

struct SessionsPage {
    QList<SessionRow> rows;
    QString error;        // not empty: no answer
    bool usage = false;   // the error is the request's (an unusable URL)
    bool denied = false;  // the login lacks quarn_viewer's rights
};

SessionsPage sessionsFromDatabase(const QString& databaseUrl, const SessionsQuery& query);

// An indented array of objects: id, started, station, slot, operator,
// serial, file, image_sha256, outcome, stage, message, seconds, repeats,
// approved, server_approved, pushed_by (null where not known).
QByteArray sessionsJson(const QList<SessionRow>& rows);

}  // namespace quarn::figures
