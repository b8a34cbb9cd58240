#include "flash/flash_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>

#include "flash/flash_options.h"

namespace quarn::flash {

QString outcomeName(SessionOutcome outcome) {
    switch (outcome) {
        case SessionOutcome::Good:
            return QStringLiteral("good");
        case SessionOutcome::Input:
            return QStringLiteral("input");
        case SessionOutcome::Port:
            return QStringLiteral("port");
        case SessionOutcome::Handshake:
            return QStringLiteral("handshake");
        case SessionOutcome::Login:
            return QStringLiteral("login");
        case SessionOutcome::Transfer:
            return QStringLiteral("transfer");
        case SessionOutcome::Interrupted:
            return QStringLiteral("interrupted");
    }
    return QString();
}

int exitStatusFor(SessionOutcome outcome) {
    switch (outcome) {
        case SessionOutcome::Good:
            return kExitGood;
        case SessionOutcome::Input:
            return kExitInput;
        case SessionOutcome::Port:
            return kExitPort;
        case SessionOutcome::Handshake:
            return kExitHandshake;
        case SessionOutcome::Login:
            return kExitLogin;
        case SessionOutcome::Transfer:
            return kExitTransfer;
        case SessionOutcome::Interrupted:
            return kExitSignal;
    }
    return kExitInput;
}

QByteArray toJsonLine(const UnitRecord& r) {
    QJsonObject o;
    o["id"] = r.id;
    o["version"] = r.version;
    o["image_sha256"] = QString::fromLatin1(r.imageSha256.toHex());
    o["station"] = r.station;
    o["operator"] = r.operatorName;
    o["serial"] = r.serial;
    o["slot"] = r.slot;
    o["port"] = r.port;
    o["device"] = r.device;
    o["file"] = r.file;
    o["length"] = r.length;
    o["bytes"] = static_cast<qint64>(r.blocks) * 64;
    o["sha256"] = QString::fromLatin1(r.sha256.toHex());
    o["blocks"] = r.blocks;
    o["repeats"] = r.repeats;
    o["outcome"] = outcomeName(r.outcome);
    o["message"] = r.message;
    o["started"] = r.started.toUTC().toString(Qt::ISODateWithMs);
    o["seconds"] = qRound64(r.seconds * 1000) / 1000.0;
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

RecordLog::~RecordLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool RecordLog::open(const QString& path, QString* why) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *why = QStringLiteral("cannot make the log's folder %1").arg(info.absolutePath());
        return false;
    }
    fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                 0644);
    if (fd_ < 0) {
        *why = QStringLiteral("cannot open the log %1: %2")
                   .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool RecordLog::append(const QByteArray& line, QString* why) {
    ssize_t n;
    do {
        n = ::write(fd_, line.constData(), static_cast<size_t>(line.size()));
    } while (n < 0 && errno == EINTR);
    if (n != line.size()) {
        *why = QStringLiteral("cannot write the log: %1")
                   .arg(n < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                              : QStringLiteral("short write"));
        return false;
    }
    ::fdatasync(fd_);
    return true;
}

}  // namespace quarn::flash
