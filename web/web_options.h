#pragma once
// quarn-plant-web's command line: quarn-plant-web [--db URL] [--listen
// ADDRESS:PORT] (--help, --version). The database: --db, else QUARN_DB,
// else [records] database= of the settings file, as quarn-records and
// quarn-plant find it; where to listen: --listen, else [web] listen
// (127.0.0.1:8471); the plant's time zone: [web] time-zone, else the
// machine's. Parsing opens nothing.

#include <QString>
#include <QStringList>

#include "core/front_door.h"
#include "web/http_server.h"

namespace quarn::web {

struct WebOptions : CommandLineAnswer {
    QString databaseUrl;
    ListenAddress listen;
    QString timeZone;  // an IANA name; empty: the machine's
};

// args includes the program name.
WebOptions parseWebOptions(const QStringList& args);

}  // namespace quarn::web
