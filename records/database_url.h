#pragma once
// Where the records go: a PostgreSQL URL, as every PostgreSQL client takes it
// (postgresql://user@host:port/db, postgresql:///db?host=/run/postgresql),
// turned into the Qt PostgreSQL driver's settings. The URL's query
// parameters (sslmode, sslrootcert, connect_timeout, ...) become connection
// options; connect_timeout is 10 s unless the URL names one, and TCP
// keep-alives and a 60 s user time-out notice a server gone mid-push. A password in
// the URL is refused: it comes from ~/.pgpass, as for every client.

#include <QString>
#include <QStringList>

namespace quarn::records {

struct DatabaseTarget {
    QString host;   // a name, an address, or a socket folder (starts with '/')
    int port = -1;  // -1: the driver's default
    QString database;
    QString user;
    QStringList options;  // key=value, for QSqlDatabase::setConnectOptions
    QString error;        // not empty: the URL is unusable, for people
};

constexpr int kDefaultConnectTimeoutS = 10;

DatabaseTarget parseDatabaseUrl(const QString& url);

// The configured database URL: QUARN_DB, else [records] database= of the
// settings file (the one the COM port mapping uses). Empty when none.
QString configuredDatabaseUrl();

// $QUARN_CONFIG_DIR/quarn-download.conf, else
// ~/.config/quarn-download/quarn-download.conf: the program's settings file.
QString settingsFilePath();

// $XDG_STATE_HOME/quarn-download/sessions.jsonl (~/.local/state/... when
// unset): where quarn-flash writes its records unless told otherwise.
QString defaultLogPath();

}  // namespace quarn::records
