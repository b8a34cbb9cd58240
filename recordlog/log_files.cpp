#include "recordlog/log_files.h"

#include <sys/stat.h>
#include <zlib.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quarn::recordlog {

namespace {

// A gzip file read as its uncompressed bytes, from its start.
class GzipDevice : public QIODevice {
public:
    explicit GzipDevice(const QString& path) : path_(path) {}
    ~GzipDevice() override { close(); }
    bool open(OpenMode mode) override {
        file_ = gzopen(QFile::encodeName(path_).constData(), "rb");
        if (!file_) {
            setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        return QIODevice::open(mode | QIODevice::Unbuffered);
    }
    void close() override {
        if (file_) gzclose(file_);
        file_ = nullptr;
        QIODevice::close();
    }
    bool isSequential() const override { return true; }
    // Back to the first byte.
    bool rewind() { return file_ && gzrewind(file_) == 0; }
    // Past n bytes (read and dropped).
    bool skip(qint64 n) { return file_ && gzseek(file_, z_off_t(n), SEEK_SET) == z_off_t(n); }

protected:
    qint64 readData(char* data, qint64 max) override {
        const int n = gzread(file_, data, unsigned(qMin<qint64>(max, 1 << 30)));
        if (n < 0) {
            int code = 0;
            setErrorString(QString::fromLatin1(gzerror(file_, &code)));
        }
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QString path_;
    gzFile file_ = nullptr;
};

bool isCompressed(const QString& path) { return path.endsWith(QLatin1String(".gz")); }

// A file's device and inode, as an earlier version's LOG.sent named it.
QByteArray identity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return QByteArray();
    return QByteArray::number(qulonglong(st.st_dev)) + ':' +
           QByteArray::number(qulonglong(st.st_ino));
}

QByteArray fingerprintOf(const QString& path) {
    QString why;
    const std::unique_ptr<QIODevice> device = openLogFile(path, &why);
    return device ? readFingerprint(*device) : QByteArray();
}

// The size of a gzip file's content, as its trailer says it (modulo 2^32).
qint64 gzipSize(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 18 || !f.seek(f.size() - 4)) return -1;
    const QByteArray t = f.read(4);
    if (t.size() != 4) return -1;
    return qint64(uchar(t[0])) | qint64(uchar(t[1])) << 8 | qint64(uchar(t[2])) << 16 |
           qint64(uchar(t[3])) << 24;
}

// LOG.N and LOG.N.gz beside the log, the highest N first.
QStringList rotatedFiles(const QString& logPath) {
    const QFileInfo log(logPath);
    const QRegularExpression name(
        QStringLiteral("^%1\\.([0-9]+)(\\.gz)?$").arg(QRegularExpression::escape(log.fileName())));
    QList<std::pair<qint64, QString>> found;
    for (const QString& entry : log.dir().entryList(QDir::Files)) {
        const QRegularExpressionMatch m = name.match(entry);
        if (m.hasMatch()) found.append({m.captured(1).toLongLong(), log.dir().filePath(entry)});
    }
    // Oldest first; of LOG.N and LOG.N.gz, the plain one first.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    QStringList paths;
    for (const auto& f : found) paths << f.second;
    return paths;
}

}  // namespace

std::unique_ptr<QIODevice> openLogFile(const QString& path, QString* why) {
    std::unique_ptr<QIODevice> device;
    if (isCompressed(path))
        device = std::make_unique<GzipDevice>(path);
    else
        device = std::make_unique<QFile>(path);
    if (device->open(QIODevice::ReadOnly)) return device;
    *why = QCoreApplication::translate("LogReader", "cannot read the log %1: %2")
               .arg(path, device->errorString());
    return nullptr;
}

QByteArray readFingerprint(QIODevice& device) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray found;
    for (;;) {
        const QByteArray line = device.readLine(1 << 20);
        if (line.isEmpty() || !line.endsWith('\n')) break;
        hash.addData(line);
        if (!line.trimmed().isEmpty()) {
            found = hash.result().toHex();
            break;
        }
    }
    if (auto* file = qobject_cast<QFile*>(&device)) file->seek(0);
    if (auto* gz = dynamic_cast<GzipDevice*>(&device)) gz->rewind();
    return found;
}

bool skipTo(QIODevice& device, qint64 offset) {
    if (auto* gz = dynamic_cast<GzipDevice*>(&device)) return gz->skip(offset);
    return device.seek(offset);
}

SentLedger SentLedger::load(const QString& logPath) {
    SentLedger ledger;
    QFile f(logPath + QStringLiteral(".sent"));
    if (!f.open(QIODevice::ReadOnly)) return ledger;
    for (QByteArray line; !(line = f.readLine()).isEmpty();) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() != 3) continue;
        const LogPosition p{parts[0].toLongLong(), parts[1].toLongLong()};
        if (p.offset < 0 || p.line < 0) continue;
        QByteArray key = parts[2];
        if (key.contains(':'))  // an earlier version's: the device and inode of LOG or LOG.1
            for (const QString& path : {logPath, logPath + QStringLiteral(".1")})
                if (identity(path) == key) key = fingerprintOf(path);
        if (!key.isEmpty() && !key.contains(':')) ledger.sent_[key] = p;
    }
    return ledger;
}

LogPosition SentLedger::position(const QByteArray& fingerprint) const {
    return sent_.value(fingerprint);
}

bool SentLedger::save(const QString& logPath, const QList<QByteArray>& keep, QString* why) const {
    QByteArray text;
    for (const QByteArray& fp : keep) {
        const auto it = sent_.constFind(fp);
        if (it == sent_.constEnd()) continue;
        text +=
            QByteArray::number(it->offset) + ' ' + QByteArray::number(it->line) + ' ' + fp + '\n';
    }
    QSaveFile f(logPath + QStringLiteral(".sent"));
    if (f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.commit()) return true;
    *why = QCoreApplication::translate("Push", "cannot record how far %1 is sent: %2")
               .arg(logPath, f.errorString());
    return false;
}

QList<LogFile> logFiles(const QString& logPath) {
    const SentLedger ledger = SentLedger::load(logPath);
    QList<LogFile> files;
    QList<QByteArray> seen;
    const QStringList paths = rotatedFiles(logPath) << logPath;
    for (const QString& path : paths) {
        const QByteArray fp = QFile::exists(path) ? fingerprintOf(path) : QByteArray();
        if (fp.isEmpty() || seen.contains(fp)) continue;
        seen << fp;
        files << LogFile{path, fp, ledger.position(fp), isCompressed(path)};
    }
    return files;
}

bool sentWhole(const LogFile& file) {
    if (file.compressed) return gzipSize(file.path) == (file.sent.offset & 0xffffffff);
    return QFileInfo(file.path).size() <= file.sent.offset;
}

qint64 pendingLines(const QString& logPath) {
    qint64 n = 0;
    for (const LogFile& f : logFiles(logPath))
        if (!sentWhole(f)) n += countLinesAfter(f.path, f.sent);
    return n;
}

}  // namespace quarn::recordlog
