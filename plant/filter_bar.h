#pragma once
// The window's filter bar: the period, one station ("every station" or one
// seen in the figures), one image (a title part or a sha256 prefix) and
// how many units were loaded good with it last ("Units with the image: N"), the
// period's approval mismatches ("Approval mismatches: N", its name to a
// screen reader too, red when not 0) and the export buttons. It only says
// what the user chose; the window asks for the figures.

#include <QStringList>
#include <QWidget>

#include "plantfeed/plant_figures.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace quarn::plant {

class FilterBar : public QWidget {
    Q_OBJECT
public:
    // first: the window's first selection (its period Since with --since).
    explicit FilterBar(const plantfeed::PlantSelection& first, QWidget* parent = nullptr);

    // The selection as the bar shows it.
    plantfeed::PlantSelection selection() const;
    // The stations of these tiles added to those offered; chosen stays chosen.
    void offerStations(const QList<plantfeed::StationTile>& tiles, const QString& chosen);
    // n < 0: the table was made before the server judged approvals ("-").
    void showMismatches(qint64 n);
    // Units loaded good with the filtered image last; hidden when n < 0.
    void showImageUnits(qint64 n);

signals:
    void edited();               // a filter changed
    void exportAsked(bool png);  // Export PNG… (true) or Export CSV… (false)

private:
    void addPeriods();

    plantfeed::PlantSelection first_;
    QStringList stations_;  // every station seen
    QComboBox* period_ = nullptr;
    QComboBox* station_ = nullptr;
    QLineEdit* image_ = nullptr;
    QLabel* mismatches_ = nullptr;
    QLabel* imageUnits_ = nullptr;
};

}  // namespace quarn::plant
