#include "recordlog/report_sockets.h"

#include <QJsonArray>
#include <QStringList>

#include "record/socket_name.h"

namespace quarn::recordlog {

namespace {

record::SocketCount slotSum(const QList<record::SocketVerdict>& sockets, const QString& slot) {
    record::SocketCount sum;
    for (const record::SocketVerdict& v : sockets)
        if (v.count.slot == slot) sum.sessions += v.count.sessions, sum.repeats += v.count.repeats;
    return sum;
}

// The rules that flag the socket, by the names the JSON and the table use.
QStringList flagNames(const record::SocketVerdict& v) {
    QStringList names;
    if (v.flagged) names << QStringLiteral("failures");
    if (v.repeatsFlagged) names << QStringLiteral("repeats");
    if (v.worn) names << QStringLiteral("service");
    return names;
}

QString perSessionText(qint64 part, qint64 sessions) {
    return sessions ? QString::number(record::perSession(part, sessions), 'f', 2)
                    : QStringLiteral("-");
}

// Lines of cells as columns two spaces apart, the first left, the rest right.
QString columnsText(const QList<QStringList>& lines) {
    QList<qsizetype> width(lines.value(0).size(), 0);
    for (const QStringList& l : lines)
        for (qsizetype i = 0; i < l.size(); ++i) width[i] = std::max(width[i], l[i].size());
    QString text;
    for (const QStringList& l : lines) {
        QStringList padded;
        for (qsizetype i = 0; i < l.size(); ++i)
            padded << (i < 2 ? l[i].leftJustified(width[i]) : l[i].rightJustified(width[i]));
        text += padded.join(QStringLiteral("  ")) + QLatin1Char('\n');
    }
    return text;
}

}  // namespace

QString slotRepeatsCell(const QList<record::SocketVerdict>& sockets, const QString& slot) {
    const record::SocketCount sum = slotSum(sockets, slot);
    return perSessionText(sum.repeats, sum.sessions);
}

QString socketsText(const QList<record::SocketVerdict>& sockets) {
    QList<QStringList> lines{
        {"station", "socket", "sessions", "failed", "repeats/s", "since-service", "check"}};
    QString warnings;
    for (const record::SocketVerdict& v : sockets) {
        const record::SocketCount& c = v.count;
        const QStringList flags = flagNames(v);
        lines << QStringList{
            c.station,
            record::socketShortName(c.slot),
            QString::number(c.sessions),
            c.sessions ? QStringLiteral("%1%").arg(100.0 * record::perSession(c.failed, c.sessions),
                                                   0, 'f', 1)
                       : QStringLiteral("-"),
            perSessionText(c.repeats, c.sessions),
            c.sinceService < 0 ? QStringLiteral("-") : QString::number(c.sinceService),
            flags.isEmpty() ? QStringLiteral("-") : flags.join(QLatin1Char(','))};
        for (const QString& w : record::socketWarnings(v)) warnings += w + QLatin1Char('\n');
    }
    return QLatin1Char('\n') + columnsText(lines) + warnings;
}

void addSocketsJson(QJsonObject* row, const QList<record::SocketVerdict>& sockets,
                    const QString& slot) {
    const record::SocketCount sum = slotSum(sockets, slot);
    (*row)["repeats"] = sum.repeats;
    (*row)["repeats_per_session"] =
        sum.sessions ? QJsonValue(record::perSession(sum.repeats, sum.sessions)) : QJsonValue();
    QJsonArray at;
    for (const record::SocketVerdict& v : sockets) {
        if (v.count.slot != slot) continue;
        const record::SocketCount& c = v.count;
        at.append(QJsonObject{
            {"station", c.station},
            {"sessions", c.sessions},
            {"failed", c.failed},
            {"repeats", c.repeats},
            {"repeats_per_session",
             c.sessions ? QJsonValue(record::perSession(c.repeats, c.sessions)) : QJsonValue()},
            {"since_service", c.sinceService < 0 ? QJsonValue() : QJsonValue(c.sinceService)},
            {"flags", QJsonArray::fromStringList(flagNames(v))}});
    }
    (*row)["sockets"] = at;
}

}  // namespace quarn::recordlog
