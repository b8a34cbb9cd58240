#pragma once
// quarn-plant's command line: quarn-plant [--db URL] [--since DATE]
// (--help, --version). The database: --db, else QUARN_DB, else [records]
// database= of the settings file, as quarn-records finds it. Parsing opens
// nothing.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "core/front_door.h"

namespace quarn::plant {

struct PlantOptions : CommandLineAnswer {
    QString databaseUrl;  // as found; empty: none configured
    QDateTime since;      // invalid: the window starts with today
};

// args includes the program name.
PlantOptions parsePlantOptions(const QStringList& args);

}  // namespace quarn::plant
