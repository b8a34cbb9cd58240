#include "records-tool/history_commands.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>

#include "figures/history_json.h"
#include "figures/history_sql.h"
#include "figures/unit_verdict.h"
#include "recordlog/history.h"
#include "records-tool/records_exit.h"

namespace quarn::records {

namespace {

QString timeText(const QDateTime& t) { return figures::historyTimeText(t); }

QString flagCell(const std::optional<bool>& f) {
    return f ? QLatin1String(*f ? "yes" : "no") : QStringLiteral("-");
}

QString cell(const QString& s) { return s.isEmpty() ? QStringLiteral("-") : s; }

// Columns padded to their widest cell, two spaces apart; the last one as is.
void sayTable(const QList<QStringList>& lines) {
    QList<int> width(lines.first().size(), 0);
    for (const QStringList& l : lines)
        for (int i = 0; i < l.size(); ++i) width[i] = std::max(width[i], int(l[i].size()));
    for (const QStringList& l : lines) {
        QStringList padded;
        for (int i = 0; i < l.size(); ++i)
            padded << (i + 1 < l.size() ? l[i].leftJustified(width[i]) : l[i]);
        sayLine(stdout, padded.join(QStringLiteral("  ")));
    }
}

void sayJson(const QByteArray& out) { std::fwrite(out.constData(), 1, size_t(out.size()), stdout); }

// The history's error as quarn-records says it; its exit status.
int failed(const recordlog::History& h, bool fromLog) {
    recordsDoor().printErr(h.error);
    if (h.denied) return kRecordsDenied;
    return fromLog || h.usage ? kRecordsUsage : kRecordsUnreachable;
}

void warnLine(const QString& text) {
    recordsDoor().printErr(QCoreApplication::translate("quarn-records", "warning: ") + text);
}

QStringList traceCells(const recordlog::TraceRow& t) {
    return {cell(timeText(t.started)),
            cell(t.station),
            cell(t.slot),
            cell(t.operatorName),
            cell(t.file),
            cell(t.imageSha256.left(12)),
            cell(t.title),
            flagCell(t.approved),
            flagCell(t.verdict),
            cell(t.outcome),
            cell(t.pushedBy),
            t.message};
}

}  // namespace

int traceCommand(const HistorySource& from, const QString& serial) {
    const bool fromLog = from.url.isEmpty();
    const recordlog::History h = fromLog ? recordlog::traceFromLog(from.log, serial, warnLine)
                                         : figures::traceFromDatabase(from.url, serial);
    if (!h.error.isEmpty()) return failed(h, fromLog);
    if (from.json) return sayJson(figures::traceJson(h.trace)), kRecordsDone;
    if (h.trace.isEmpty())
        return sayLine(
                   stdout,
                   QCoreApplication::translate("quarn-records", "no records of %1").arg(serial)),
               kRecordsDone;
    QList<QStringList> lines{{"started", "station", "slot", "operator", "file", "image", "title",
                              "approved", "server", "outcome", "pushed-by", "message"}};
    for (const recordlog::TraceRow& t : h.trace) lines << traceCells(t);
    sayTable(lines);
    sayLine(stdout, QCoreApplication::translate("quarn-records", "verdict: %1")
                        .arg(figures::verdictText(figures::unitVerdict(h.trace))));
    return kRecordsDone;
}

int unitsCommand(const HistorySource& from, const QString& imagePrefix, const QDateTime& since) {
    const bool fromLog = from.url.isEmpty();
    const recordlog::History h =
        fromLog ? recordlog::unitsFromLog(from.log, imagePrefix, since, warnLine)
                : figures::unitsFromDatabase(from.url, imagePrefix, since);
    if (!h.error.isEmpty()) return failed(h, fromLog);
    if (from.json) return sayJson(figures::unitsJson(h.units)), kRecordsDone;
    QList<QStringList> lines{{"serial", "station", "slot", "started", "image"}};
    for (const recordlog::UnitRow& u : h.units)
        lines << QStringList{cell(u.serial), cell(u.station), cell(u.slot),
                             cell(timeText(u.started)), u.imageSha256.left(12)};
    sayTable(lines);
    sayLine(stdout, QCoreApplication::translate("quarn-records", "%1 unit(s)").arg(h.units.size()));
    return kRecordsDone;
}

void sayImageUnits(const QString& url, const QString& sha256) {
    const qint64 count = figures::imageUnitCount(url, sha256);
    const QString list = QStringLiteral("quarn-records units --image %1").arg(sha256);
    sayLine(stdout,
            count < 0
                ? QCoreApplication::translate("quarn-records", "the units loaded good with it: %1")
                      .arg(list)
                : QCoreApplication::translate("quarn-records", "%1 unit(s) loaded good with it: %2")
                      .arg(count)
                      .arg(list));
}

}  // namespace quarn::records
