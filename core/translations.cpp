#include "core/translations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quarn {

QStringList translationFolders() {
    QStringList folders;
    const QString given = qEnvironmentVariable("QUARN_TRANSLATIONS_DIR");
    if (!given.isEmpty()) folders << given;
    const QDir program(QCoreApplication::applicationDirPath());
    folders << program.filePath(QStringLiteral("translations"))
            << QDir::cleanPath(
                   program.filePath(QStringLiteral("../share/quarn-download/translations")));
    return folders;
}

QString installTranslations() {
    const QLocale locale = QLocale::system();
    auto* ours = new QTranslator(QCoreApplication::instance());
    QString loaded;
    for (const QString& folder : translationFolders()) {
        if (!ours->load(locale, QStringLiteral("quarn"), QStringLiteral("_"), folder)) continue;
        QCoreApplication::installTranslator(ours);
        loaded = ours->filePath();
        break;
    }
    if (loaded.isEmpty()) {
        delete ours;
        return loaded;
    }
    // Only with ours: an English station keeps Qt's English buttons too.
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    return loaded;
}

QString programHelp(const QCommandLineParser& parser, const QString& program) {
    QString text = parser.helpText();
    // Where Qt takes the name from (qcommandlineparser.cpp).
    const QString started = QCoreApplication::instance() ? QCoreApplication::arguments().value(0)
                                                         : QStringLiteral("<executable_name>");
    const QString usage = QCommandLineParser::tr("Usage: %1");
    const QString from = usage.arg(started);
    if (text.startsWith(from)) text.replace(0, from.size(), usage.arg(program));
    return text;
}

}  // namespace quarn
