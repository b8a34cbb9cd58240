#include "flash/progress.h"

#include <QCoreApplication>
#include <QDateTime>

#include "link/stage_text.h"

namespace quarn::flash {

QString stageText(int stage, int block, int total) {
    return quarn::stageText(static_cast<LinkStage>(stage), block, total);
}

QString ProgressDisplay::unitLine(const gang::Unit& u, const QString& outcome) const {
    const SessionProgress p = u.progress();
    const int st = static_cast<int>(p.stage), done = p.answered(), total = p.total;
    QString line = QStringLiteral("%1  %2")
                       .arg(u.job().port, -14)
                       .arg(outcome.isEmpty() ? stageText(st, done, total) : outcome, -18);
    if (total > 0) {
        line += QCoreApplication::translate("quarn-flash", " %1%  repeats %2")
                    .arg(done * 100 / total, 3)
                    .arg(p.repeats);
        const qint64 start = u.transferStartMs();
        const double secs = start ? (QDateTime::currentMSecsSinceEpoch() - start) / 1000.0 : 0;
        if (secs > 0.5 && done > 0) {
            const double rate = done * 64.0 / secs;
            const double left = (total - done) * 64.0 / rate;
            line += QCoreApplication::translate("quarn-flash", "  %1 B/s  %2 s left")
                        .arg(qRound(rate))
                        .arg(qRound(left));
        }
    }
    return line;
}

void ProgressDisplay::erase() {
    if (quiet_ || !terminal_ || drawn_ == 0) return;
    std::fprintf(out_, "\x1b[%dA\r\x1b[J", drawn_);
    std::fflush(out_);
    drawn_ = 0;
}

void ProgressDisplay::redraw(const QList<gang::Unit*>& units, const QStringList& outcomes) {
    if (quiet_ || !terminal_) return;
    QByteArray text;
    if (drawn_) text += "\x1b[" + QByteArray::number(drawn_) + "A";
    for (int i = 0; i < units.size(); ++i)
        text += "\r\x1b[K" + unitLine(*units[i], outcomes[i]).toLocal8Bit() + "\n";
    drawn_ = units.size();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), out_);
    std::fflush(out_);
}

void ProgressDisplay::progressLine(int slot, const QString& port, const SessionProgress& p) {
    if (shown_.size() <= slot) shown_.resize(slot + 1);
    Shown& shown = shown_[slot];
    const int stage = static_cast<int>(p.stage), done = p.answered();
    const int quarter = p.total > 0 ? done * 4 / p.total : 0;
    if (stage == shown.stage && quarter == shown.quarter) return;
    shown = {stage, quarter};
    stageLine(port, stage, done, p.total);
}

void ProgressDisplay::stageLine(const QString& port, int stage, int block, int total) {
    if (quiet_ || terminal_) return;
    QString line = port + QStringLiteral(": ") + stageText(stage, block, total);
    if (static_cast<LinkStage>(stage) == LinkStage::Transfer && total > 0)
        line = QCoreApplication::translate("quarn-flash", "%1: %2 of %3 blocks (%4%)")
                   .arg(port)
                   .arg(block)
                   .arg(total)
                   .arg(block * 100 / total);
    note(line);
}

void ProgressDisplay::endedLine(const UnitRecord& r) {
    if (quiet_ || terminal_) return;
    QString line = QStringLiteral("%1: %2").arg(r.port, outcomeName(r.outcome));
    if (!r.shownMessage.isEmpty()) line += QStringLiteral(": ") + r.shownMessage;
    note(line);
}

void ProgressDisplay::summary(const QList<UnitRecord>& records) {
    if (quiet_) return;
    note(QStringLiteral("%1 %2 %3 %4 %5")
             .arg(QCoreApplication::translate("quarn-flash", "port"), -16)
             .arg(QCoreApplication::translate("quarn-flash", "outcome"), -12)
             .arg(QCoreApplication::translate("quarn-flash", "blocks"), 7)
             .arg(QCoreApplication::translate("quarn-flash", "repeats"), 8)
             .arg(QCoreApplication::translate("quarn-flash", "seconds"), 8));
    for (const UnitRecord& r : records) {
        note(QStringLiteral("%1 %2 %3 %4 %5")
                 .arg(r.port, -16)
                 .arg(outcomeName(r.outcome), -12)
                 .arg(r.blocks, 7)
                 .arg(r.repeats, 8)
                 .arg(r.seconds, 8, 'f', 1));
        if (terminal_ && !r.shownMessage.isEmpty()) note(QStringLiteral("  ") + r.shownMessage);
    }
}

void ProgressDisplay::note(const QString& text) {
    std::fprintf(out_, "%s\n", text.toLocal8Bit().constData());
    std::fflush(out_);
}

}  // namespace quarn::flash
