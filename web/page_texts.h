#pragma once
// The pages' words, from the same catalogue as the programs
// (translations/quarn_<language>.ts): the tiles', filters' and charts'
// texts are the window's own entries (the same context and source), the
// pages' other texts are under "quarn-plant-web". A page gets the language
// its browser asks for first among those there is a catalogue for
// (Accept-Language), else English; the words go into the page as a JSON
// data block, never as script.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTranslator>
#include <memory>

namespace quarn::web {

class PageTexts {
public:
    // Loads every catalogue found in the translation folders (core/translations.h).
    PageTexts();
    ~PageTexts();

    // "de" or "en" for an Accept-Language header ("de-DE,de;q=0.9,en;q=0.8").
    QString language(const QByteArray& acceptLanguage) const;
    // {"key": "text", ...} in that language: every text the pages show.
    QByteArray textsJson(const QString& language) const;
    // One text in that language (the page's title).
    QString text(const QString& language, const char* key) const;

private:
    QHash<QString, std::shared_ptr<QTranslator>> catalogues_;  // by language
};

}  // namespace quarn::web
