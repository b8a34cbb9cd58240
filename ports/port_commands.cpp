#include "ports/port_commands.h"

#include <QRegularExpression>

#include "ports/port_holders.h"
#include "ports/settings_health.h"

namespace quarn {

namespace {

QString envName(int com) { return QStringLiteral("QUARN_COM%1").arg(com); }

// Saves pending changes; false with a message on err when that failed.
bool save(Settings& settings, QTextStream& err) {
    QString why;
    if (settings.save(&why)) return true;
    err << why << '\n';
    return false;
}

bool usable(const Settings& settings, QTextStream& err) {
    if (settings.usable()) return true;
    err << settings.problem() << '\n';
    return false;
}

// Flushes both streams when a command returns, so that its lines are out
// before the caller goes on (or ends).
struct Flush {
    QTextStream& out;
    QTextStream& err;
    ~Flush() {
        out.flush();
        err.flush();
    }
};

void printTable(const QList<QStringList>& rows, QTextStream& out) {
    QList<qsizetype> widths;
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (widths.size() <= c) widths << 0;
            widths[c] = std::max(widths[c], row[c].size());
        }
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        out << line << '\n';
    }
}

}  // namespace

int listPorts(Settings& settings, const QList<PortRecord>& ports, QTextStream& out,
              QTextStream& err) {
    const Flush flush{out, err};
    if (!usable(settings, err)) return 1;
    PortMap map(settings, ports);
    if (!map.numberNewPorts().isEmpty()) save(settings, err);  // the listing still stands

    QList<QStringList> rows;
    QStringList devices;  // the device whose state ends each row, empty for a fixed state
    auto add = [&](const QString& com, const QString& device, const QString& stable,
                   const PortRecord* port, const QString& state) {
        QStringList row{com, device, stable};
        if (port) {
            row << port->description << port->manufacturer << port->serialNumber
                << (port->hasUsbIds ? QStringLiteral("%1:%2")
                                          .arg(port->vendorId, 4, 16, QLatin1Char('0'))
                                          .arg(port->productId, 4, 16, QLatin1Char('0'))
                                    : QString());
        } else {
            row << QString() << QString() << QString() << QString();
        }
        row << state;
        for (QString& field : row)
            if (field.isEmpty()) field = QStringLiteral("-");
        rows << row;
        devices << (state.isEmpty() ? device : QString());
    };
    for (int com = 1; com <= kComCount; ++com) {
        const QString env = comFromEnvironment(com);
        const QString device = map.resolve(com);
        const QString name = map.stored(com);
        const PortRecord* port = map.portNamed(env.isEmpty() ? name : env);
        const QString stable = !env.isEmpty() ? envName(com) : port ? port->stableName : name;
        const QString state = !device.isEmpty() ? QString()
                              : name.isEmpty()  ? QStringLiteral("not assigned")
                                                : QStringLiteral("not plugged in");
        add(QStringLiteral("COM%1").arg(com), device, stable, port, state);
    }
    for (const PortRecord& port : map.ports())
        if (map.comOf(port) == 0) add(QString(), port.device, port.stableName, &port, QString());

    const QStringList states = portStates(devices);
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (!devices[i].isEmpty()) rows[i].last() = states[i];
    rows.prepend({"COM", "DEVICE", "STABLE NAME", "DESCRIPTION", "MANUFACTURER", "SERIAL", "USB ID",
                  "STATE"});
    printTable(rows, out);
    return 0;
}

int listPortsCommand(QTextStream& out, QTextStream& err) {
    Settings settings;
    return listPorts(settings, discoverPorts(), out, err);
}

int assignPort(Settings& settings, const QList<PortRecord>& ports, const QString& arg,
               QTextStream& out, QTextStream& err) {
    static const QRegularExpression form(QStringLiteral("^COM(\\d{1,3})=(.*)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const Flush flush{out, err};
    const QRegularExpressionMatch match = form.match(arg.trimmed());
    if (!match.hasMatch()) {
        err << "--assign expects COMn=DEVICE, or COMn= to remove COMn (for instance --assign "
               "COM1=/dev/ttyUSB0), not \""
            << arg << "\"\n";
        return 1;
    }
    if (!usable(settings, err)) return 1;
    PortMap map(settings, ports);
    const QString device = match.captured(2).trimmed();
    QString message;
    if (!map.assign(match.captured(1).toInt(), device, &message)) {
        err << message << '\n';
        return 1;
    }
    if (!save(settings, err)) return 1;
    out << message << '\n';
    if (!device.isEmpty() && !map.portNamed(device))
        out << "note: " << device
            << " is no serial port this machine reports; it is used as it is\n";
    return 0;
}

int assignPortCommand(const QString& arg, QTextStream& out, QTextStream& err) {
    Settings settings;
    return assignPort(settings, discoverPorts(), arg, out, err);
}

QString describeCom(const PortMap& map, int com) {
    const QString head = QStringLiteral("COM%1: ").arg(com);
    const QString device = map.resolve(com);
    if (device.isEmpty())
        return head + (map.stored(com).isEmpty()
                           ? QStringLiteral("nothing assigned")
                           : map.stored(com) + QLatin1String(", not plugged in"));
    if (!comFromEnvironment(com).isEmpty())
        return head + QStringLiteral("%1 (%2)").arg(device, envName(com));
    QStringList parts{device};
    if (const PortRecord* port = map.portNamed(device)) {
        if (!port->description.isEmpty()) parts << port->description;
        if (!port->serialNumber.isEmpty()) parts << QLatin1String("serial ") + port->serialNumber;
    }
    return head + parts.join(QLatin1String(", "));
}

QString describeCom(int com) {
    Settings settings;
    if (!settings.usable()) return QStringLiteral("COM%1: %2").arg(com).arg(settings.problem());
    PortMap map(settings, discoverPorts());
    if (!map.numberNewPorts().isEmpty()) saveNumberedPorts(settings);
    return describeCom(map, com);
}

}  // namespace quarn
