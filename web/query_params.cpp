#include "web/query_params.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "recordlog/record_filter.h"

namespace quarn::web {

QueryParams::QueryParams(const QList<std::pair<QString, QString>>& query) : query_(query) {}

QString QueryParams::take(const QString& name) {
    taken_ << name;
    QString value;
    int seen = 0;
    for (const auto& [n, v] : query_)
        if (n == name) value = v, ++seen;
    if (seen > 1 && fault_.isEmpty())
        fault_ = QStringLiteral("%1: given %2 times").arg(name).arg(seen);
    return value;
}

bool QueryParams::given(const QString& name) const {
    for (const auto& [n, v] : query_)
        if (n == name) return true;
    return false;
}

void QueryParams::refuse(const QString& name, const QString& why) {
    if (fault_.isEmpty()) fault_ = name + QStringLiteral(": ") + why;
}

std::optional<HttpResponse> QueryParams::fault() const {
    if (!fault_.isEmpty()) return errorResponse(400, fault_);
    for (const auto& [n, v] : query_)
        if (!taken_.contains(n))
            return errorResponse(400, QStringLiteral("%1: no such parameter here").arg(n));
    return std::nullopt;
}

HttpResponse errorResponse(int status, const QString& error) {
    HttpResponse r;
    r.status = status;
    r.body = QJsonDocument(QJsonObject{{"error", error}}).toJson(QJsonDocument::Compact) + '\n';
    return r;
}

QDateTime timeParam(QueryParams& p, const QString& name) {
    const QString text = p.take(name);
    if (text.isEmpty()) return QDateTime();
    const QDateTime t = recordlog::parseReportSince(text);
    if (!t.isValid())
        p.refuse(name,
                 QStringLiteral("wants a date (2026-12-07) or an ISO time, not \"%1\"").arg(text));
    return t;
}

}  // namespace quarn::web
