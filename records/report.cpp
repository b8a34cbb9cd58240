#include "records/report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "records/log_reader.h"

namespace quarn::records {

namespace {

struct Group {
    ReportRow row;
    QList<double> seconds;
    // Per serial number: its first session's start, id and whether it was good.
    QMap<QString, std::tuple<QDateTime, QString, bool>> firstBySerial;
};

QString groupKey(const QJsonObject& r, const QString& by, const QDateTime& started) {
    if (by.isEmpty()) return QString();
    if (by == QLatin1String("day"))
        return started.isValid() ? started.toUTC().toString(QStringLiteral("yyyy-MM-dd"))
                                 : QString();
    return r.value(by).toString();
}

void add(Group& g, const QJsonObject& r, const QDateTime& started) {
    const QString outcome = r.value(QLatin1String("outcome")).toString();
    const bool good = outcome == QLatin1String("good");
    ++g.row.sessions;
    good ? ++g.row.good : ++g.row.failed[outcome];
    if (r.value(QLatin1String("seconds")).isDouble())
        g.seconds << r.value(QLatin1String("seconds")).toDouble();
    const QString serial = r.value(QLatin1String("serial")).toString();
    if (serial.isEmpty()) {
        ++g.row.units;
        g.row.firstPassGood += good;
        return;
    }
    const std::tuple<QDateTime, QString, bool> mine{started,
                                                    r.value(QLatin1String("id")).toString(), good};
    auto it = g.firstBySerial.find(serial);
    if (it == g.firstBySerial.end() || std::tie(std::get<0>(mine), std::get<1>(mine)) <
                                           std::tie(std::get<0>(*it), std::get<1>(*it)))
        g.firstBySerial[serial] = mine;
}

// As percentile_cont(0.5): the middle value, or the mean of the two middle ones.
double median(QList<double> v) {
    if (v.isEmpty()) return -1;
    std::sort(v.begin(), v.end());
    const qsizetype m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

ReportRow finish(Group& g) {
    for (const auto& first : std::as_const(g.firstBySerial)) {
        ++g.row.units;
        g.row.firstPassGood += std::get<2>(first);
    }
    g.row.medianSeconds = median(g.seconds);
    for (const QString& o : failingOutcomes()) g.row.failed[o] += 0;
    return g.row;
}

}  // namespace

void completeReport(Report& report, const ReportRequest& request) {
    if (!request.by.isEmpty() || !report.rows.isEmpty() || !report.error.isEmpty()) return;
    Group none;
    report.rows << finish(none);
}

const QStringList& reportGroupings() {
    static const QStringList list{"day", "station", "file", "slot", "operator"};
    return list;
}

const QStringList& failingOutcomes() {
    static const QStringList list{"input", "port", "handshake", "login", "transfer", "interrupted"};
    return list;
}

Report reportFromLog(const QString& logPath, const ReportRequest& request,
                     const std::function<void(const QString&)>& warn) {
    Report report;
    LogReader reader;
    if (!reader.open(logPath, {}, &report.error)) return report;
    QMap<QString, Group> groups;
    while (!reader.atEnd()) {
        const LogBatch batch = reader.next(1000);
        for (const QString& w : batch.warnings) warn(w);
        for (const QJsonObject& r : batch.records) {
            const QDateTime started = QDateTime::fromString(
                r.value(QLatin1String("started")).toString(), Qt::ISODateWithMs);
            if (request.since.isValid() && !(started.isValid() && started >= request.since))
                continue;
            Group& g = groups[groupKey(r, request.by, started)];
            add(g, r, started);
        }
    }
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        it->row.key = it.key();
        report.rows << finish(*it);
    }
    completeReport(report, request);
    return report;
}

QString reportText(const Report& report, const ReportRequest& request) {
    QStringList head{request.by.isEmpty() ? QStringLiteral("all") : request.by,
                     QStringLiteral("sessions"), QStringLiteral("good")};
    head += failingOutcomes();
    head << QStringLiteral("first-pass") << QStringLiteral("median-s");
    QList<QStringList> lines{head};
    for (const ReportRow& r : report.rows) {
        QStringList cells{request.by.isEmpty() ? QStringLiteral("all") : r.key,
                          QString::number(r.sessions), QString::number(r.good)};
        for (const QString& o : failingOutcomes()) cells << QString::number(r.failed.value(o));
        cells << (r.units ? QStringLiteral("%1%").arg(100.0 * r.firstPassGood / r.units, 0, 'f', 1)
                          : QStringLiteral("-"));
        cells << (r.medianSeconds < 0 ? QStringLiteral("-")
                                      : QString::number(r.medianSeconds, 'f', 1));
        lines << cells;
    }
    QList<int> width(head.size(), 0);
    for (const QStringList& l : lines)
        for (int i = 0; i < l.size(); ++i) width[i] = std::max(width[i], int(l[i].size()));
    QString text;
    for (const QStringList& l : lines) {
        QStringList padded;
        for (int i = 0; i < l.size(); ++i)
            padded << (i == 0 ? l[i].leftJustified(width[i]) : l[i].rightJustified(width[i]));
        text += padded.join(QStringLiteral("  ")) + QLatin1Char('\n');
    }
    return text;
}

QByteArray reportJson(const Report& report, const ReportRequest& request) {
    QJsonArray rows;
    for (const ReportRow& r : report.rows) {
        QJsonObject failed;
        for (auto it = r.failed.begin(); it != r.failed.end(); ++it) failed[it.key()] = it.value();
        QJsonObject o{{"sessions", r.sessions},
                      {"good", r.good},
                      {"failed", failed},
                      {"units", r.units},
                      {"first_pass_good", r.firstPassGood}};
        if (!request.by.isEmpty()) o[request.by] = r.key;
        o["first_pass_yield"] =
            r.units ? QJsonValue(double(r.firstPassGood) / r.units) : QJsonValue();
        o["median_seconds"] = r.medianSeconds < 0 ? QJsonValue() : QJsonValue(r.medianSeconds);
        rows.append(o);
    }
    return QJsonDocument(rows).toJson(QJsonDocument::Indented);
}

}  // namespace quarn::records
