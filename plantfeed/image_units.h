#pragma once
// The recall count beside the plant's image filter: how many units were
// loaded good with the image last (quarn_image_units(), the count
// `quarn-records units --image` lists; figures/history_sql.h). The filter
// names the image by a sha256 prefix of 12 hex digits or more, or by a part
// of approved images' titles (their counts summed).

#include <QSqlDatabase>
#include <QString>

namespace quarn::plantfeed {

// -1 when no image is filtered, a hex word is shorter than 12 digits, or the
// database cannot say (a schema without the function): the label hides then.
qint64 imageUnitsOf(QSqlDatabase& db, const QString& image);

}  // namespace quarn::plantfeed
