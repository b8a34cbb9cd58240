#include "approval/approved_copy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include "core/settings.h"

namespace quarn::approval {

namespace {

constexpr qint64 kFutureSlackS = 60;  // clocks a little apart are no forgery

// "quality on db.plant port 5432", as a refusal names a database.
QString databaseText(const QJsonObject& d) {
    const QString host = d.value(QLatin1String("host")).toString();
    return QCoreApplication::translate("Approval", "%1 on %2 port %3")
        .arg(d.value(QLatin1String("dbname")).toString(),
             host.isEmpty() ? QCoreApplication::translate("Approval", "the default host") : host)
        .arg(d.value(QLatin1String("port")).toInt());
}

bool sameDatabase(const QJsonObject& a, const QJsonObject& b) {
    for (const char* key : {"host", "dbname"})
        if (a.value(QLatin1String(key)).toString() != b.value(QLatin1String(key)).toString())
            return false;
    return a.value(QLatin1String("port")).toInt() == b.value(QLatin1String("port")).toInt();
}

}  // namespace

qint64 offlineMaxAgeS() {
    bool ok = false;
    const qint64 s = quarn::Settings()
                         .value(quarn::SettingKey::ImagesOfflineMaxAge)
                         .toString()
                         .trimmed()
                         .toLongLong(&ok);
    return ok && s >= 0 ? s : settingDefault(SettingKey::ImagesOfflineMaxAge).toLongLong();
}

QJsonObject copyDatabase(const pg::DatabaseTarget& t) {
    return {{"host", t.host},
            {"port", t.port > 0 ? t.port : 5432},
            {"dbname", t.database.isEmpty() ? t.user : t.database}};
}

bool saveApprovedCopy(const QString& path, const ApprovedCopy& copy, QString* why) {
    QJsonArray images;
    for (const ApprovedImage& i : copy.images) images << imageJson(i);
    const QByteArray text =
        QJsonDocument(QJsonObject{{"read_at", copy.readAt.toUTC().toString(Qt::ISODateWithMs)},
                                  {"database", copy.database},
                                  {"images", images}})
            .toJson();
    QSaveFile f(path);
    if (QDir().mkpath(QFileInfo(path).absolutePath()) && f.open(QIODevice::WriteOnly) &&
        f.write(text) == text.size() && f.commit())
        return true;
    *why = QCoreApplication::translate("Approval", "cannot keep the approved list in %1: %2")
               .arg(path, f.errorString());
    return false;
}

bool loadApprovedCopy(const QString& path, ApprovedCopy* copy, QString* why) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return *why = QCoreApplication::translate("Approval", "no copy of the approved list (%1)")
                          .arg(f.errorString()),
               false;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    copy->readAt =
        QDateTime::fromString(o.value(QLatin1String("read_at")).toString(), Qt::ISODateWithMs)
            .toUTC();
    copy->database = o.value(QLatin1String("database")).toObject();
    if (!copy->readAt.isValid() || !o.value(QLatin1String("images")).isArray())
        return *why = QCoreApplication::translate("Approval",
                                                  "the copy of the approved list %1 is damaged")
                          .arg(path),
               false;
    for (const QJsonValue& v : o.value(QLatin1String("images")).toArray())
        copy->images << imageFromJson(v.toObject());
    return true;
}

QString copyUnfitness(const ApprovedCopy& copy, const pg::DatabaseTarget& target,
                      const QDateTime& now, qint64 maxAgeS) {
    const QString when = approvalTimeText(copy.readAt);
    if (copy.database.isEmpty())
        return QCoreApplication::translate("Approval", "the approved list of %1 names no database")
            .arg(when);
    const QJsonObject wanted = copyDatabase(target);
    if (!sameDatabase(copy.database, wanted))
        return QCoreApplication::translate("Approval",
                                           "the approved list of %1 is of %2, not of %3")
            .arg(when, databaseText(copy.database), databaseText(wanted));
    const qint64 age = copy.readAt.secsTo(now);
    if (age < -kFutureSlackS)
        return QCoreApplication::translate("Approval",
                                           "the approved list of %1 is dated after this "
                                           "computer's time")
            .arg(when);
    // 0: no copy decides, not even one read this very second.
    if (maxAgeS <= 0)
        return QCoreApplication::translate(
            "Approval", "the offline limit is 0 s: no copy of the approved list decides");
    if (age > maxAgeS)
        return QCoreApplication::translate(
                   "Approval", "the approved list of %1 is older than the offline limit (%2 s)")
            .arg(when)
            .arg(maxAgeS);
    return {};
}

}  // namespace quarn::approval
