#include "ports/settings_health.h"

#include <QMutex>
#include <QSet>
#include <cstdio>

#include "core/message_box.h"
#include "core/settings.h"

namespace quarn {

void saveNumberedPorts(Settings& settings) {
    QString problem;
    if (settings.save(&problem)) return;
    // Said once per file: every COM number resolved would say it again.
    static QMutex mutex;
    static QSet<QString> told;
    const QMutexLocker lock(&mutex);
    if (told.contains(settings.path())) return;
    told.insert(settings.path());
    std::fprintf(stderr, "%s\n", qPrintable(problem));
    addBoxNote(problem[0].toUpper() + problem.mid(1) + QLatin1Char('.'));
}

}  // namespace quarn
