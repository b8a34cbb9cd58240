#include "record/socket_name.h"

#include <QRegularExpression>

namespace quarn::record {

QString socketShortName(const QString& stableName) {
    const QString name = stableName.mid(stableName.lastIndexOf(QLatin1Char('/')) + 1);
    static const QRegularExpression socket(
        QStringLiteral("usb-\\d+:([\\d.]+):[\\d.]+-port(\\d+)$"));
    static const QRegularExpression byId(QStringLiteral("^usb-(.+)-if\\d+-port\\d+$"));
    const QRegularExpressionMatch s = socket.match(name);
    if (s.hasMatch())
        return QStringLiteral("USB ") + s.captured(1) +
               (s.captured(2) == QLatin1String("0") ? QString() : QLatin1Char('/') + s.captured(2));
    const QRegularExpressionMatch id = byId.match(name);
    if (!id.hasMatch() && stableName.startsWith(QLatin1String("/dev/")) &&
        !stableName.startsWith(QLatin1String("/dev/serial/")))
        return stableName.mid(5);  // "ttyUSB0", "pts/3"
    if (!id.hasMatch()) return name;
    const QStringList parts = id.captured(1).split(QLatin1Char('_'), Qt::SkipEmptyParts);
    return parts.size() < 2 ? id.captured(1) : parts.first() + QLatin1Char(' ') + parts.last();
}

}  // namespace quarn::record
