#include "bench/sim_output.h"

#include <QRegularExpression>

namespace bench {

void SimOutput::feed(const QByteArray& bytes) {
    partial_ += bytes;
    for (;;) {
        const qsizetype nl = partial_.indexOf('\n');
        if (nl < 0) return;
        const QString line = QString::fromLocal8Bit(partial_.left(nl)).trimmed();
        partial_.remove(0, nl + 1);
        if (!line.isEmpty()) parseLine(line);
    }
}

void SimOutput::parseLine(const QString& line) {
    static const QRegularExpression deviceRe(QStringLiteral("^device: (.+?)(?: link: (.+))?$"));
    static const QRegularExpression sessionRe(QStringLiteral(
        "^session (\\d+): blocks (\\d+), repeats (\\d+), corrupted (\\d+), bytes (\\d+), "
        "transfer ([0-9.]+) s, wire ([0-9.]+) s$"));
    QRegularExpressionMatch m = deviceRe.match(line);
    if (m.hasMatch()) {
        device_ = m.captured(1);
        link_ = m.captured(2);
        return;
    }
    m = sessionRe.match(line);
    if (m.hasMatch()) {
        SimSession s;
        s.number = m.captured(1).toInt();
        s.blocks = m.captured(2).toInt();
        s.repeats = m.captured(3).toInt();
        s.corrupted = m.captured(4).toInt();
        s.bytes = m.captured(5).toLongLong();
        s.transferSeconds = m.captured(6).toDouble();
        s.wireSeconds = m.captured(7).toDouble();
        sessions_.push_back(s);
        return;
    }
    other_ << line;
}

}  // namespace bench
