#include "approval/image_list.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "database/schema.h"
#include "pg/connection.h"

namespace quarn::approval {

namespace {

using Status = ImageOutcome::Status;

// The work being done and the role it needs, for "not permitted".
struct Work {
    QString what;
    QString role;
};

ImageOutcome failed(Status status, const QString& why) {
    ImageOutcome out;
    out.status = status, out.error = why;
    return out;
}

ImageOutcome failureOf(const QSqlError& e, const Work& work) {
    // 42P01 undefined_table: a database nobody made the schema in.
    if (e.nativeErrorCode() == QLatin1String("42P01"))
        return failed(Status::Refused,
                      QCoreApplication::translate("Connection",
                                                  "the database has no quarn_images table: apply "
                                                  "`quarn-records schema` as its owner"));
    switch (pg::problemOf(e)) {
        case pg::Problem::Busy:
            return failed(Status::Busy, pg::describe(e));
        case pg::Problem::Denied:
            return failed(Status::Denied, pg::notPermittedText(work.what, work.role));
        case pg::Problem::Lost:
            return failed(Status::Unreachable, pg::describe(e));
        case pg::Problem::Refused:
            break;
    }
    return failed(Status::Refused, pg::describe(e));
}

// What a failed open means to the list's callers: a refused login is a
// refusal (the kept copy must not decide), never an absence.
Status openStatus(pg::Problem p) {
    switch (p) {
        case pg::Problem::Denied:
            return Status::Denied;
        case pg::Problem::Refused:
            return Status::Refused;
        case pg::Problem::Busy:
            return Status::Busy;
        case pg::Problem::Lost:
            break;
    }
    return Status::Unreachable;
}

// Connected and time-limited; else false with *out the reason.
bool openLimited(pg::Connection& c, const QString& url, ImageOutcome* out) {
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(url);
    if (!target.error.isEmpty()) return *out = failed(Status::Usage, target.error), false;
    QString why;
    if (!c.open(target, &why)) return *out = failed(openStatus(c.openProblem()), why), false;
    QSqlQuery q(c.db());
    if (q.exec(pg::limitStatements(pg::statementLimitMs(), false))) return true;
    return *out = failureOf(q.lastError(), {}), false;
}

ApprovedImage rowOf(const QSqlQuery& q) {
    ApprovedImage i;
    i.sha256 = q.value(0).toString();
    i.length = q.value(1).toLongLong();
    i.file = q.value(2).toString(), i.title = q.value(3).toString(), i.note = q.value(4).toString();
    i.approvedBy = q.value(5).toString();
    i.approvedAt = q.value(6).toDateTime().toUTC();
    i.revokedBy = q.value(7).toString();
    i.revokedAt = q.isNull(8) ? QDateTime() : q.value(8).toDateTime().toUTC();
    return i;
}

// Runs sql with the values bound; *affected: rows changed.
bool run(QSqlDatabase& db, const QString& sql, const QVariantList& values, const Work& work,
         ImageOutcome* out, QList<ApprovedImage>* rows = nullptr, int* affected = nullptr) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // A statement the server would not prepare is not run: executed anyway,
    // it would be an EXECUTE of nothing, and its error a syntax error.
    if (!q.prepare(sql)) return *out = failureOf(q.lastError(), work), false;
    for (const QVariant& v : values) q.addBindValue(v);
    if (!q.exec()) return *out = failureOf(q.lastError(), work), false;
    if (affected) *affected = q.numRowsAffected();
    while (rows && q.next()) *rows << rowOf(q);
    return true;
}

const QString kSelect = QStringLiteral(
    "SELECT sha256, length, file, title, note, approved_by, approved_at, revoked_by, revoked_at"
    " FROM quarn_images ");

// Made when asked, so that it is said in the language loaded by then.
Work reading() {
    return {QCoreApplication::translate("Connection", "reading the approved list"),
            QCoreApplication::translate("Connection", "%1 or %2")
                .arg(QLatin1String(database::kStationRole), QLatin1String(database::kViewerRole))};
}

}  // namespace

ImageOutcome readImageList(const QString& databaseUrl) {
    ImageOutcome out;
    pg::Connection c;
    if (!openLimited(c, databaseUrl, &out)) return out;
    run(c.db(), kSelect + QStringLiteral("ORDER BY approved_at, sha256"), {}, reading(), &out,
        &out.images);
    return out;
}

ImageOutcome approveImage(const QString& databaseUrl, const ApprovedImage& image) {
    const Work work{QCoreApplication::translate("Connection", "approving"),
                    QLatin1String(database::kEngineerRole)};
    ImageOutcome out;
    pg::Connection c;
    if (!openLimited(c, databaseUrl, &out)) return out;
    int added = 0;
    const QVariant note =
        image.note.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(image.note);
    if (!run(c.db(),
             QStringLiteral("INSERT INTO quarn_images (sha256, length, file, title, note)"
                            " VALUES (?, ?, ?, ?, ?)"
                            " ON CONFLICT (sha256) WHERE revoked_at IS NULL DO NOTHING"),
             {image.sha256, image.length, image.file, image.title, note}, work, &out, nullptr,
             &added))
        return out;
    out.changed = added > 0;
    run(c.db(), kSelect + QStringLiteral("WHERE sha256 = ? AND revoked_at IS NULL"), {image.sha256},
        work, &out, &out.images);
    return out;
}

namespace {

// The one sha256 of the list that starts with prefix; else false with *out.
bool resolvePrefix(QSqlDatabase& db, const QString& prefix, ImageOutcome* out) {
    QList<ApprovedImage> rows;
    if (!run(db, kSelect + QStringLiteral("WHERE sha256 LIKE ? ORDER BY approved_at DESC"),
             {prefix + QLatin1Char('%')}, reading(), out, &rows))
        return false;
    QStringList found;
    for (const ApprovedImage& i : rows)
        if (!found.contains(i.sha256)) found << i.sha256;
    if (found.size() == 1) return out->images = {rows.first()}, true;
    *out = failed(
        Status::Usage,
        found.isEmpty()
            ? QStringLiteral("no image of the approved list has a sha256 starting %1").arg(prefix)
            : QStringLiteral("%1 starts %2 sha256s of the approved list; give more digits")
                  .arg(prefix)
                  .arg(found.size()));
    return false;
}

}  // namespace

ImageOutcome revokeImage(const QString& databaseUrl, const QString& prefix, const QString& note) {
    const QString digits = prefix.toLower();
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{%1,64}$").arg(kMinPrefix));
    if (!hex.match(digits).hasMatch())
        return failed(Status::Usage,
                      QStringLiteral("revoke wants a sha256, or its first %1 hex digits or more, "
                                     "not \"%2\"")
                          .arg(kMinPrefix)
                          .arg(prefix));
    ImageOutcome out;
    pg::Connection c;
    if (!openLimited(c, databaseUrl, &out) || !resolvePrefix(c.db(), digits, &out)) return out;
    const QString sha = out.images.first().sha256;
    const Work work{QCoreApplication::translate("Connection", "revoking"),
                    QLatin1String(database::kEngineerRole)};
    const QString setNote =
        note.isEmpty() ? QString() : QStringLiteral(", note = concat_ws(E'\\n', note, ?::text)");
    QVariantList values;
    if (!note.isEmpty()) values << note;
    values << sha;
    int revoked = 0;
    if (!run(c.db(),
             QStringLiteral("UPDATE quarn_images SET revoked_at = now(), revoked_by = current_user"
                            "%1 WHERE sha256 = ? AND revoked_at IS NULL")
                 .arg(setNote),
             values, work, &out, nullptr, &revoked))
        return out;
    out.changed = revoked > 0;
    out.images.clear();
    run(c.db(), kSelect + QStringLiteral("WHERE sha256 = ? ORDER BY approved_at DESC LIMIT 1"),
        {sha}, work, &out, &out.images);
    return out;
}

namespace {

QJsonValue timeJson(const QDateTime& t) {
    return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}
QDateTime timeFromJson(const QJsonValue& v) {
    return QDateTime::fromString(v.toString(), Qt::ISODateWithMs).toUTC();
}

}  // namespace

QJsonObject imageJson(const ApprovedImage& i) {
    return {{"sha256", i.sha256},
            {"length", i.length},
            {"file", i.file},
            {"title", i.title},
            {"note", i.note},
            {"approved_by", i.approvedBy},
            {"approved_at", timeJson(i.approvedAt)},
            {"revoked_by", i.revoked() ? QJsonValue(i.revokedBy) : QJsonValue()},
            {"revoked_at", timeJson(i.revokedAt)}};
}

QString approvalTimeText(const QDateTime& t) {
    return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

ApprovedImage imageFromJson(const QJsonObject& o) {
    ApprovedImage i;
    i.sha256 = o.value(QLatin1String("sha256")).toString();
    i.length = o.value(QLatin1String("length")).toInteger();
    i.file = o.value(QLatin1String("file")).toString();
    i.title = o.value(QLatin1String("title")).toString();
    i.note = o.value(QLatin1String("note")).toString();
    i.approvedBy = o.value(QLatin1String("approved_by")).toString();
    i.approvedAt = timeFromJson(o.value(QLatin1String("approved_at")));
    i.revokedBy = o.value(QLatin1String("revoked_by")).toString();
    i.revokedAt = timeFromJson(o.value(QLatin1String("revoked_at")));
    return i;
}

}  // namespace quarn::approval
