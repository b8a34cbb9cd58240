#include "ports/port_advice.h"

#include <grp.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "ports/port_holders.h"

namespace quarn {

namespace {

// The group that owns device ("dialout" on Debian), or empty when unknown.
QString groupOf(const QString& device) {
    struct stat st {};
    const QString path = QFileInfo(device).canonicalFilePath();
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0) return QString();
    if (const group* g = ::getgrgid(st.st_gid)) return QString::fromLocal8Bit(g->gr_name);
    return QString::number(st.st_gid);
}

QString permissionAdvice(const QString& device) {
    const QString group = groupOf(device);
    if (group == QLatin1String("root"))
        return QStringLiteral(
                   "%1: permission denied. The device belongs to the group root: it is not "
                   "open to users. Give it a group with a udev rule, for instance\n"
                   "SUBSYSTEM==\"tty\", KERNEL==\"%2\", GROUP=\"dialout\", MODE=\"0660\"\n"
                   "in /etc/udev/rules.d/50-quarn.rules, then plug the adapter in again.")
            .arg(device, QFileInfo(QFileInfo(device).canonicalFilePath()).fileName());
    return QStringLiteral(
               "%1: permission denied. Join the group %2 with\n"
               "sudo usermod -aG %2 $USER\nthen log out and log in again.")
        .arg(device, group.isEmpty() ? QStringLiteral("dialout") : group);
}

}  // namespace

QString explainPortFailure(const QString& device, const QString& error, PortFault fault) {
    if (device.isEmpty()) return explainPortFailure(device, error, QString(), fault);
    return explainPortFailure(device, error, portStates({device}).value(0), fault);
}

QString explainPortFailure(const QString& device, const QString& error, const QString& state,
                           PortFault fault) {
    if (device.isEmpty()) {
        // The port mapping gave no device: its reason lists the machine's ports.
        return QStringLiteral(
                   "No device: %1.\nAssign one with: quarn-download --assign COMn=DEVICE")
            .arg(error);
    }
    if (state == QStringLiteral("missing") || fault == PortFault::Missing)
        return QStringLiteral(
                   "%1: nothing is plugged in at that name. Plug the adapter in, or "
                   "choose another port.")
            .arg(device);
    if (state == QStringLiteral("not permitted") || fault == PortFault::NotPermitted)
        return permissionAdvice(device);
    if (state.startsWith(QStringLiteral("in use")))
        return QStringLiteral("%1: %2. Close that program, then choose the port again.")
            .arg(device, state);
    if (fault == PortFault::InUse)
        return QStringLiteral(
                   "%1: in use by another program. Close it, then choose the port again.")
            .arg(device);
    return QStringLiteral("%1: %2").arg(device, error);
}

}  // namespace quarn
