#include "database/migrations.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace quarn::database {

namespace {

const char kFolder[] = ":/database/sql/";

QByteArray readResource(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<Migration> readMigrations() {
    static const QRegularExpression numbered(QStringLiteral("^(\\d{4})_[a-z0-9_]+\\.sql$"));
    QList<Migration> list;
    const QDir folder{QString::fromLatin1(kFolder)};
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch m = numbered.match(name);
        if (!m.hasMatch()) continue;
        const QByteArray sql = readResource(folder.filePath(name));
        list << Migration{m.captured(1).toInt(), name, sql,
                          QCryptographicHash::hash(sql, QCryptographicHash::Sha256).toHex()};
    }
    return list;
}

QString quoted(const QString& text) { return QLatin1Char('\'') + text + QLatin1Char('\''); }

}  // namespace

const QList<Migration>& migrations() {
    static const QList<Migration> list = readMigrations();
    return list;
}

int latestVersion() { return migrations().isEmpty() ? 0 : migrations().last().version; }

QByteArray sqlFile(const char* name) { return readResource(QLatin1String(kFolder) + name); }

QString ledgerInsert(const Migration& m) {
    return QStringLiteral(
               "INSERT INTO quarn_schema_version (version, name, sha256) VALUES (%1, %2, %3);\n")
        .arg(m.version)
        .arg(quoted(m.name), quoted(QString::fromLatin1(m.sha256)));
}

QString schemaBody() {
    // Each migration runs as it stands, inside a block that runs it only when
    // the ledger lacks it: so the script can be applied again (the owner's
    // upkeep), and to a database an older version of this script made.
    // Quiet about what is there already (the ledger, applied again).
    QString body = QStringLiteral("SET LOCAL client_min_messages = warning;\n") +
                   QString::fromUtf8(sqlFile("ledger.sql"));
    for (const Migration& m : migrations())
        body += QStringLiteral(
                    "\n-- %1\nDO $migration$\nBEGIN\nIF quarn_schema_pending(%2, %3, %4) THEN\n"
                    "EXECUTE $file$\n%5$file$;\n%6END IF;\nEND\n$migration$;\n")
                    .arg(m.name)
                    .arg(m.version)
                    .arg(quoted(m.name), quoted(QString::fromLatin1(m.sha256)),
                         QString::fromUtf8(m.sql), ledgerInsert(m));
    return body + QLatin1Char('\n') + QString::fromUtf8(sqlFile("upkeep.sql"));
}

QString schemaScript() {
    return QStringLiteral("BEGIN;\n") + schemaBody() + QStringLiteral("COMMIT;\n");
}

QString rolesScript() {
    return QStringLiteral("BEGIN;\n") + QString::fromUtf8(sqlFile("roles.sql")) +
           QStringLiteral("COMMIT;\n");
}

QString refillStatement() { return QStringLiteral("SELECT quarn_summaries_refill()"); }

QString refillScript() {
    return QStringLiteral("BEGIN;\n") + refillStatement() + QStringLiteral(";\nCOMMIT;\n");
}

}  // namespace quarn::database
