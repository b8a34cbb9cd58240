#include "web/page_shell.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include "browser/site_files.h"

namespace quarn::web {

namespace {

QJsonObject period(const QDateTime& from, const QTimeZone& zone) {
    return {{"from", from.toMSecsSinceEpoch()},
            {"offset", zone.offsetFromUtc(from)},
            {"abbr", zone.abbreviation(from)}};
}

QByteArray escapedHtml(const QString& text) { return text.toHtmlEscaped().toUtf8(); }

}  // namespace

QByteArray zoneJson(const QDateTime& now) {
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime from = now.addDays(-400), to = now.addDays(2);
    QJsonArray periods{period(from, zone)};
    for (const QTimeZone::OffsetData& t : zone.transitions(from, to))
        periods << period(t.atUtc, zone);
    return QJsonDocument(QJsonObject{{"id", QString::fromUtf8(zone.id())}, {"periods", periods}})
        .toJson(QJsonDocument::Compact);
}

QByteArray pageShell(const PageTexts& texts, const QString& language, const QString& kind,
                     const QString& subject) {
    const QByteArray shell = browser::pageShellTemplate();
    if (shell.isEmpty()) return QByteArray();
    QByteArray context =
        "{\"page\": " +
        QJsonDocument(QJsonArray{kind}).toJson(QJsonDocument::Compact).mid(1).chopped(1) +
        ", \"subject\": " +
        QJsonDocument(QJsonArray{subject}).toJson(QJsonDocument::Compact).mid(1).chopped(1) +
        ", \"lang\": \"" + language.toLatin1() + "\", \"texts\": " + texts.textsJson(language) +
        ", \"zone\": " + zoneJson(QDateTime::currentDateTimeUtc()) + "}";
    // Nothing in the data block may end it or open a comment: every "<" of
    // the JSON (inside a string) as its escape.
    context.replace("<", "\\u003c");
    QByteArray page = shell;
    page.replace("{{LANG}}", language.toLatin1());
    page.replace("{{TITLE}}", escapedHtml(texts.text(language, "title")));
    page.replace("{{CONTEXT}}", context);
    return page;
}

}  // namespace quarn::web
