#include "plant/filter_bar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quarn::plant {

FilterBar::FilterBar(const plantfeed::PlantSelection& first, QWidget* parent)
    : QWidget(parent), first_(first) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    period_ = new QComboBox;
    period_->setObjectName(QStringLiteral("period"));
    period_->setAccessibleName(tr("Period"));
    addPeriods();
    station_ = new QComboBox;
    station_->setObjectName(QStringLiteral("station"));
    station_->setAccessibleName(tr("Station"));
    station_->addItem(tr("every station"));
    image_ = new QLineEdit(first.image);
    image_->setObjectName(QStringLiteral("image"));
    image_->setAccessibleName(tr("Image"));
    image_->setPlaceholderText(tr("image: title or sha256 prefix"));
    imageUnits_ = new QLabel;
    imageUnits_->setObjectName(QStringLiteral("imageUnits"));
    imageUnits_->setToolTip(
        tr("Units whose latest good session loaded the image: "
           "quarn-records units --image lists them"));
    imageUnits_->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{new QLabel(tr("Period")), period_,
                                                      new QLabel(tr("Station")), station_, image_})
        row->addWidget(w);
    row->addWidget(imageUnits_);
    mismatches_ = new QLabel;
    mismatches_->setObjectName(QStringLiteral("mismatches"));
    mismatches_->setToolTip(
        tr("Sessions whose station said approved (or not) where the "
           "database's approved list says otherwise"));
    row->addWidget(mismatches_);
    row->addStretch(1);
    auto* png = new QPushButton(tr("Export PNG…"));
    auto* csv = new QPushButton(tr("Export CSV…"));
    row->addWidget(png);
    row->addWidget(csv);
    connect(period_, &QComboBox::currentIndexChanged, this, &FilterBar::edited);
    connect(station_, &QComboBox::currentIndexChanged, this, &FilterBar::edited);
    connect(image_, &QLineEdit::editingFinished, this, &FilterBar::edited);
    connect(png, &QPushButton::clicked, this, [this] { emit exportAsked(true); });
    connect(csv, &QPushButton::clicked, this, [this] { emit exportAsked(false); });
}

void FilterBar::addPeriods() {
    period_->addItem(tr("today"), int(plantfeed::Period::Today));
    period_->addItem(tr("last 24 hours"), int(plantfeed::Period::Last24Hours));
    period_->addItem(tr("last 7 days"), int(plantfeed::Period::Last7Days));
    period_->addItem(tr("last 30 days"), int(plantfeed::Period::Last30Days));
    if (first_.since.isValid())
        period_->addItem(
            tr("since %1")
                .arg(first_.since.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))),
            int(plantfeed::Period::Since));
    period_->setCurrentIndex(period_->findData(int(first_.period)));
}

plantfeed::PlantSelection FilterBar::selection() const {
    plantfeed::PlantSelection s = first_;
    s.period = plantfeed::Period(period_->currentData().toInt());
    s.station = station_->currentIndex() > 0 ? station_->currentText() : QString();
    s.image = image_->text().trimmed();
    return s;
}

void FilterBar::offerStations(const QList<plantfeed::StationTile>& tiles, const QString& chosen) {
    for (const plantfeed::StationTile& t : tiles)
        if (!stations_.contains(t.station)) stations_ << t.station;
    stations_.sort();
    station_->blockSignals(true);
    station_->clear();
    station_->addItem(tr("every station"));
    station_->addItems(stations_);
    station_->setCurrentIndex(qMax(0, stations_.indexOf(chosen) + 1));
    station_->blockSignals(false);
}

void FilterBar::showMismatches(qint64 n) {
    const QString text =
        tr("Approval mismatches: %1").arg(n < 0 ? QStringLiteral("-") : QString::number(n));
    mismatches_->setText(text);
    mismatches_->setAccessibleName(text);
    mismatches_->setStyleSheet(n > 0 ? QStringLiteral("color: #b00020; font-weight: bold")
                                     : QString());
}

void FilterBar::showImageUnits(qint64 n) {
    const QString text = tr("Units with the image: %1").arg(n);
    imageUnits_->setText(text);
    imageUnits_->setAccessibleName(text);
    imageUnits_->setVisible(n >= 0);
}

}  // namespace quarn::plant
