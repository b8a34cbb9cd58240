#pragma once
// A request's query parameters as the API reads them: each taken by name
// at most once; a name given twice, or one no path takes, is the request's
// fault and answered with 400 naming it. And the API's error answers.

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

#include "web/http_server.h"

namespace quarn::web {

class QueryParams {
public:
    explicit QueryParams(const QList<std::pair<QString, QString>>& query);

    // The value of name ("" when not given); notes a name given twice.
    QString take(const QString& name);
    bool given(const QString& name) const;
    // The first fault: a name given twice, or one not taken; none when none.
    std::optional<HttpResponse> fault() const;
    // Records a value that cannot be read ("since: 2026-13-01 is no date").
    void refuse(const QString& name, const QString& why);

private:
    QList<std::pair<QString, QString>> query_;
    QStringList taken_;
    QString fault_;
};

// {"error": "..."} with the status.
HttpResponse errorResponse(int status, const QString& error);

// A time parameter: "2026-12-07" (from 00:00 UTC, as quarn-records reads
// --since) or an ISO time; invalid with *why otherwise. Empty text: invalid, no fault.
QDateTime timeParam(QueryParams& p, const QString& name);

}  // namespace quarn::web
