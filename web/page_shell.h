#pragma once
// A page as the service sends it: one HTML shell (browser/page.html) for
// every page, its language, title and a JSON data block (never script)
// with what the page's script needs: which page, its subject (the serial
// number or the image), the words in the page's language
// (web/page_texts.h) and the plant's time zone: its name and, from 400 days
// back to 2 days ahead, each stretch of one UTC offset with its
// abbreviation ("CET", "CEST"), so that the page shows every time in the
// plant's zone and names it, and an hour that a clock change doubles or
// skips stays right.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "web/page_texts.h"

namespace quarn::web {

QByteArray pageShell(const PageTexts& texts, const QString& language, const QString& kind,
                     const QString& subject);

// {"id": "Europe/Berlin", "periods": [{"from": ms since 1970, "offset": s, "abbr": "CET"}, ...]}
QByteArray zoneJson(const QDateTime& now);

}  // namespace quarn::web
