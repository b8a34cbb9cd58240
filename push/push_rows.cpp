#include "push/push_rows.h"

#include <QDate>
#include <QDateTime>
#include <algorithm>

#include "record/columns.h"

namespace quarn::push {

namespace {

// "2026-12-01T06:00:00.000Z" as quarn-flash writes it, a real moment: taken as
// it is, without the cost of parsing (a push's most frequent value).
bool isUtcStamp(const QString& t) {
    static const QString form = QStringLiteral("0000-00-00T00:00:00.000Z");
    if (t.size() != form.size()) return false;
    for (qsizetype i = 0; i < t.size(); ++i)
        if (form[i] == QLatin1Char('0') ? !t[i].isDigit() || t[i].unicode() > '9' : t[i] != form[i])
            return false;
    const auto num = [&](int at, int n) { return QStringView(t).mid(at, n).toInt(); };
    return QDate::isValid(num(0, 4), num(5, 2), num(8, 2)) && num(11, 2) < 24 && num(14, 2) < 60 &&
           num(17, 2) < 60;
}

// A string as a JSON string, in UTF-8; NUL left out (text cannot hold it).
void appendJsonText(QByteArray& json, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    json += '"';
    const auto plain = [](char c) { return uchar(c) >= 0x20 && c != '"' && c != '\\'; };
    if (std::all_of(utf8.begin(), utf8.end(), plain)) {
        json += utf8;  // nearly every value: nothing to escape
    } else {
        for (const char c : utf8) {
            if (plain(c)) {
                json += c;
            } else if (c == '"' || c == '\\') {
                json += '\\';
                json += c;
            } else if (c != 0) {
                json += "\\u00";
                json += "0123456789abcdef"[(uchar(c) >> 4) & 0xf];
                json += "0123456789abcdef"[uchar(c) & 0xf];
            }
        }
    }
    json += '"';
}

// The value of one key as JSON as its column takes it; false when it is
// missing or of the wrong kind (the column stays NULL).
bool appendJsonValue(QByteArray& json, const QJsonValue& v, record::ColumnKind kind) {
    switch (kind) {
        case record::ColumnKind::Uuid:
        case record::ColumnKind::Text:
            if (v.isUndefined() || v.isNull()) return false;
            appendJsonText(json, v.isString() ? v.toString() : v.toVariant().toString());
            return true;
        case record::ColumnKind::Time: {
            const QString text = v.toString();
            if (isUtcStamp(text)) return appendJsonText(json, text), true;
            const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
            if (!t.isValid()) return false;
            appendJsonText(json, t.toUTC().toString(Qt::ISODateWithMs));
            return true;
        }
        case record::ColumnKind::Real:
            if (!v.isDouble()) return false;
            json += QByteArray::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
            return true;
        case record::ColumnKind::Count: {
            const double d = v.toDouble(-1e300);
            if (!v.isDouble() || d != qint64(d) || d < INT32_MIN || d > INT32_MAX) return false;
            json += QByteArray::number(int(d));
            return true;
        }
        case record::ColumnKind::Flag:
            if (!v.isBool()) return false;
            json += v.toBool() ? "true" : "false";
            return true;
    }
    return false;
}

}  // namespace

QStringList recordMonths(const QList<QJsonObject>& records) {
    QStringList months;
    for (const QJsonObject& r : records) {
        const QString started = r.value(QLatin1String(record::key::started)).toString();
        // quarn-flash writes UTC ("...Z"): its month is its first seven characters.
        QString month = started.endsWith(QLatin1Char('Z')) ? started.left(7) : QString();
        if (!QDate::fromString(month + QStringLiteral("-01"), Qt::ISODate).isValid()) {
            const QDateTime t = QDateTime::fromString(started, Qt::ISODateWithMs);
            if (!t.isValid()) continue;
            month = t.toUTC().toString(QStringLiteral("yyyy-MM"));
        }
        if (!months.contains(month)) months << month;
    }
    return months;
}

QByteArray rowsJson(const QList<QJsonObject>& records) {
    QByteArray json;
    json.reserve(records.size() * 700);
    json += '[';
    for (const QJsonObject& r : records) {
        json += &r == &records.first() ? "{" : ",{";
        bool first = true;
        for (const record::Column& c : record::columns()) {
            const qsizetype before = json.size();
            json += first ? "\"" : ",\"";
            json += c.key;
            json += "\":";
            if (appendJsonValue(json, r.value(QLatin1String(c.key)), c.kind))
                first = false;
            else
                json.truncate(before);
        }
        json += '}';
    }
    json += ']';
    return json;
}

QByteArray monthsArray(const QStringList& months) {
    QByteArray text = "{";
    for (const QString& m : months) text += (text.size() > 1 ? "," : "") + m.toLatin1() + "-01Z";
    return text + '}';
}

QString pushCallSql() {
    return QStringLiteral("CALL quarn_push($1::json, $2::timestamptz[], NULL)");
}

}  // namespace quarn::push
