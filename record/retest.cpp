#include "record/retest.h"

#include <QCoreApplication>

#include "record/outcome.h"

namespace quarn::record {

namespace {

QString retestText(const char* source, bool translated) {
    return translated ? QCoreApplication::translate("RetestLimit", source)
                      : QString::fromUtf8(source);
}

}  // namespace

bool isFailedAttempt(const QString& outcome) {
    return !outcome.isEmpty() && outcome != QLatin1String(kGoodOutcome) &&
           outcome != QLatin1String(kNoPassOutcome) && outcome != QLatin1String(kHeldOutcome);
}

QString sourceText(const RetestWord& word, bool translated) {
    switch (word.source) {
        case AttemptSource::Database:
            return retestText(QT_TRANSLATE_NOOP("RetestLimit", "attempts from the database"),
                              translated);
        case AttemptSource::Log:
            return retestText(QT_TRANSLATE_NOOP("RetestLimit", "attempts from the local log"),
                              translated);
        case AttemptSource::Unreachable:
            return retestText(
                QT_TRANSLATE_NOOP("RetestLimit",
                                  "attempts from the local log: database unreachable"),
                translated);
        case AttemptSource::Refused:
            return retestText(QT_TRANSLATE_NOOP("RetestLimit", "attempts from the local log: %1"),
                              translated)
                .arg(word.why);
    }
    return QString();
}

QString heldStatus(bool translated) {
    return retestText(QT_TRANSLATE_NOOP("RetestLimit", "retest limit: to repair"), translated);
}

QString heldDetail(const RetestWord& word, bool translated) {
    // Held takes at least one failed attempt: the plural form always fits.
    const QString attempts =
        retestText(QT_TRANSLATE_NOOP("RetestLimit", "%1 attempts"), translated).arg(word.attempts);
    return attempts + QStringLiteral("; ") + sourceText(word, translated);
}

QString heldMessage(const RetestWord& word, bool translated) {
    return heldStatus(translated) + QStringLiteral(": ") + heldDetail(word, translated);
}

QString heldDetailOf(const QString& shownMessage) {
    const QString status = heldStatus(true) + QStringLiteral(": ");
    return shownMessage.startsWith(status) ? shownMessage.mid(status.size()) : shownMessage;
}

}  // namespace quarn::record
