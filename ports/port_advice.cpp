#include "ports/port_advice.h"

#include <grp.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "ports/port_map.h"

namespace quarn {

namespace {

// The group that may use device (dialout on Debian), from the device's owner group.
QString groupOf(const QString& device) {
    struct stat st {};
    const QString path = QFileInfo(device).canonicalFilePath();
    if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
        st.st_gid != 0) {
        if (const group* g = ::getgrgid(st.st_gid)) return QString::fromLocal8Bit(g->gr_name);
    }
    return QStringLiteral("dialout");
}

}  // namespace

QString explainPortFailure(const QString& device, const QString& error) {
    if (device.isEmpty()) return explainPortFailure(device, error, QString());
    return explainPortFailure(device, error, portStates({device}).value(0));
}

QString explainPortFailure(const QString& device, const QString& error, const QString& state) {
    if (device.isEmpty()) {
        // The port mapping gave no device: its reason lists the machine's ports.
        return QStringLiteral(
                   "No device: %1.\nAssign one with: quarn-download --assign COMn=DEVICE")
            .arg(error);
    }
    if (state == QStringLiteral("missing"))
        return QStringLiteral(
                   "%1: nothing is plugged in at that name. Plug the adapter in, or "
                   "choose another port.")
            .arg(device);
    if (state == QStringLiteral("not permitted") ||
        error.contains(QStringLiteral("Permission denied"), Qt::CaseInsensitive)) {
        const QString group = groupOf(device);
        return QStringLiteral(
                   "%1: permission denied. Join the group %2 with\n"
                   "sudo usermod -aG %2 $USER\nthen log out and log in again.")
            .arg(device, group);
    }
    if (state.startsWith(QStringLiteral("in use")))
        return QStringLiteral("%1: %2. Close that program, then choose the port again.")
            .arg(device, state);
    if (error.contains(QStringLiteral("in use by another program")) ||
        error.contains(QStringLiteral("locking the device")))
        return QStringLiteral(
                   "%1: in use by another program. Close it, then choose the port again.")
            .arg(device);
    return QStringLiteral("%1: %2").arg(device, error);
}

}  // namespace quarn
