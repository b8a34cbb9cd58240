#include "recordlog/log_reader.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QUuid>

#include "record/columns.h"
#include "recordlog/log_files.h"

namespace quarn::recordlog {

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
    const QJsonValue id = out->value(QLatin1String(record::key::id));
    if (id.isUndefined()) {
        (*out)[QLatin1String(record::key::id)] =
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

bool LogReader::open(const QString& path, LogPosition from, QString* why) {
    path_ = path;
    atEnd_ = false;
    file_ = openLogFile(path, why);
    if (!file_) return false;
    fingerprint_ = readFingerprint(*file_);
    if (!file_->isSequential() && from.offset > file_->size()) from = {};
    if (!skipTo(*file_, from.offset)) {
        if (file_->isSequential()) {  // a compressed file shorter than the position
            file_ = openLogFile(path, why);
            if (!file_) return false;
            from = {};
        } else {
            *why = QCoreApplication::translate("LogReader", "cannot read the log %1: %2")
                       .arg(path, file_->errorString());
            return false;
        }
    }
    pos_ = from;
    return true;
}

LogBatch LogReader::next(int max) {
    LogBatch batch;
    for (int n = 0; n < max; ++n) {
        const QByteArray line = file_ ? file_->readLine() : QByteArray();
        if (line.isEmpty() || !line.endsWith('\n')) {
            atEnd_ = true;
            if (file_ && !file_->isSequential())
                file_->seek(pos_.offset);  // a partial line is read again next time
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
                                  .arg(path_)
                                  .arg(pos_.line)
                                  .arg(why);
    }
    batch.end = pos_;
    return batch;
}

qint64 countLinesAfter(const QString& path, LogPosition from) {
    QString why;
    const std::unique_ptr<QIODevice> file = openLogFile(path, &why);
    if (!file) return 0;
    if (!file->isSequential() && from.offset > file->size()) from = {};
    if (!skipTo(*file, from.offset)) return 0;
    qint64 count = 0;
    bool blank = true;
    char buf[65536];
    for (qint64 n; (n = file->read(buf, sizeof buf)) > 0;) {
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

}  // namespace quarn::recordlog
