#include "record/outcome.h"

#include <QRegularExpression>

namespace quarn::record {

QString outcomeName(SessionOutcome outcome) {
    switch (outcome) {
        case SessionOutcome::Good:
            return QLatin1String(kGoodOutcome);
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
            return QLatin1String(kNoPassOutcome);
        case SessionOutcome::Held:
            return QLatin1String(kHeldOutcome);
    }
    return QString();
}

std::optional<SessionOutcome> outcomeFromName(const QString& name) {
    for (int o = int(SessionOutcome::Good); o <= int(SessionOutcome::Held); ++o)
        if (outcomeName(SessionOutcome(o)) == name) return SessionOutcome(o);
    return std::nullopt;
}

QString sessionStage(const QString& outcome, const QString& message) {
    static const QRegularExpression block(QStringLiteral("block [0-9]+ of [0-9]+"));
    const QRegularExpressionMatch m = block.match(message);
    return m.hasMatch() ? m.captured() : outcome;
}

const QStringList& failingOutcomes() {
    static const QStringList list = [] {
        QStringList names;
        for (int o = int(SessionOutcome::Input); o <= int(SessionOutcome::Interrupted); ++o)
            names << outcomeName(SessionOutcome(o));
        return names;
    }();
    return list;
}

}  // namespace quarn::record
