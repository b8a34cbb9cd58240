#include "recordlog/log_reader.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QUuid>

#include "record/columns.h"

namespace quarn::records {

namespace {

// A fixed namespace for ids made from a line's bytes.
const QUuid kLineNamespace(QStringLiteral("{6f4c2b7e-3f0a-4d8e-9b6c-2a1d5e7f9c03}"));

bool parseRecord(const QByteArray& line, QJsonObject* out, QString* why) {
    QJsonParseError e{};
    const QJsonDocument d = QJsonDocument::fromJson(line, &e);
    if (e.error != QJsonParseError::NoError) return *why = e.errorString(), false;
    if (!d.isObject())
        return *why = QCoreApplication::translate("LogReader", "not an object"), false;
    *out = d.object();
    const QJsonValue id = out->value(QLatin1String(key::id));
    if (id.isUndefined()) {
        (*out)[QLatin1String(key::id)] =
            QUuid::createUuidV5(kLineNamespace, line).toString(QUuid::WithoutBraces);
    } else if (!isWholeUuid(id.toString())) {
        return *why = QCoreApplication::translate("LogReader", "the id is no UUID"), false;
    }
    return true;
}

}  // namespace

bool isWholeUuid(const QString& text) {
    const bool braced = text.startsWith(QLatin1Char('{')) && text.endsWith(QLatin1Char('}'));
    if (text.size() != (braced ? 38 : 36)) return false;
    return !QUuid::fromString(text).isNull();
}

QByteArray LogReader::identity() const {
    struct stat st {};
    if (!file_.isOpen() || ::fstat(file_.handle(), &st) != 0) return QByteArray();
    return QByteArray::number(qulonglong(st.st_dev)) + ':' +
           QByteArray::number(qulonglong(st.st_ino));
}

bool LogReader::open(const QString& path, LogPosition from, QString* why) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly)) {
        *why = QCoreApplication::translate("LogReader", "cannot read the log %1: %2")
                   .arg(path, file_.errorString());
        return false;
    }
    if (from.offset > file_.size()) from = {};
    if (!file_.seek(from.offset)) {
        *why = QCoreApplication::translate("LogReader", "cannot read the log %1: %2")
                   .arg(path, file_.errorString());
        return false;
    }
    pos_ = from;
    atEnd_ = false;
    return true;
}

LogBatch LogReader::next(int max) {
    LogBatch batch;
    for (int n = 0; n < max; ++n) {
        const QByteArray line = file_.readLine();
        if (line.isEmpty() || !line.endsWith('\n')) {
            atEnd_ = true;
            file_.seek(pos_.offset);  // a partial line is read again next time
            break;
        }
        pos_.offset += line.size();
        ++pos_.line;
        if (line.trimmed().isEmpty()) continue;
        QJsonObject record;
        QString why;
        if (parseRecord(line, &record, &why)) {
            batch.records << record;
            batch.lines << line;
            batch.ends << pos_;
        } else
            batch.warnings << QCoreApplication::translate("LogReader",
                                                          "%1 line %2: damaged record skipped (%3)")
                                  .arg(file_.fileName())
                                  .arg(pos_.line)
                                  .arg(why);
    }
    batch.end = pos_;
    return batch;
}

qint64 countLinesAfter(const QString& path, LogPosition from) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    if (from.offset > file.size()) from = {};
    file.seek(from.offset);
    qint64 count = 0;
    bool blank = true;
    char buf[65536];
    for (qint64 n; (n = file.read(buf, sizeof buf)) > 0;) {
        for (qint64 i = 0; i < n; ++i) {
            if (buf[i] == '\n') {
                count += blank ? 0 : 1;
                blank = true;
            } else if (buf[i] != ' ' && buf[i] != '\r' && buf[i] != '\t') {
                blank = false;
            }
        }
    }
    return count;
}

}  // namespace quarn::records
