// The window's filter bar and its export buttons.
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTabWidget>

#include "core/message_box.h"
#include "plant/plant_window.h"

namespace quarn::plant {

QWidget* PlantWindow::filterBar() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    period_ = new QComboBox;
    period_->setObjectName(QStringLiteral("period"));
    period_->setAccessibleName(QStringLiteral("Period"));
    period_->addItem(QStringLiteral("today"), int(Period::Today));
    period_->addItem(QStringLiteral("last 24 hours"), int(Period::Last24Hours));
    period_->addItem(QStringLiteral("last 7 days"), int(Period::Last7Days));
    period_->addItem(QStringLiteral("last 30 days"), int(Period::Last30Days));
    if (selection_.since.isValid())
        period_->addItem(
            QStringLiteral("since %1")
                .arg(selection_.since.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))),
            int(Period::Since));
    period_->setCurrentIndex(period_->findData(int(selection_.period)));
    station_ = new QComboBox;
    station_->setObjectName(QStringLiteral("station"));
    station_->setAccessibleName(QStringLiteral("Station"));
    station_->addItem(QStringLiteral("every station"));
    image_ = new QLineEdit(selection_.image);
    image_->setObjectName(QStringLiteral("image"));
    image_->setAccessibleName(QStringLiteral("Image"));
    image_->setPlaceholderText(QStringLiteral("image: title or sha256 prefix"));
    auto* png = new QPushButton(QStringLiteral("Export PNG…"));
    auto* csv = new QPushButton(QStringLiteral("Export CSV…"));
    for (QWidget* w :
         std::initializer_list<QWidget*>{new QLabel(QStringLiteral("Period")), period_,
                                         new QLabel(QStringLiteral("Station")), station_, image_})
        row->addWidget(w);
    mismatches_ = new QLabel;
    mismatches_->setObjectName(QStringLiteral("mismatches"));
    mismatches_->setToolTip(
        QStringLiteral("Sessions whose station said approved (or not) where the database's "
                       "approved list says otherwise"));
    row->addWidget(mismatches_);
    row->addStretch(1);
    row->addWidget(png);
    row->addWidget(csv);
    connect(period_, &QComboBox::currentIndexChanged, this, &PlantWindow::reselect);
    connect(station_, &QComboBox::currentIndexChanged, this, &PlantWindow::reselect);
    connect(image_, &QLineEdit::editingFinished, this, &PlantWindow::reselect);
    connect(png, &QPushButton::clicked, this, [this] { askExport(true); });
    connect(csv, &QPushButton::clicked, this, [this] { askExport(false); });
    return bar;
}

void PlantWindow::reselect() {
    PlantSelection s = selection_;
    s.period = Period(period_->currentData().toInt());
    s.station = station_->currentIndex() > 0 ? station_->currentText() : QString();
    s.image = image_->text().trimmed();
    if (s.period == selection_.period && s.station == selection_.station &&
        s.image == selection_.image)
        return;
    selection_ = s;
    feed_.select(s);
}

bool PlantWindow::exportPng(int tab, const QString& path, QString* why) const {
    if (tab < 0 || tab >= charts_.size()) return *why = QStringLiteral("no such chart"), false;
    if (charts_[tab]->grab().save(path, "PNG")) return true;
    *why = QStringLiteral("cannot write %1").arg(path);
    return false;
}

bool PlantWindow::exportCsv(int tab, const QString& path, QString* why) const {
    const QByteArray text = tab == 0   ? yieldCsv(view_)
                            : tab == 1 ? causesCsv(view_)
                                       : socketsCsv(view_);
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.commit()) return true;
    *why = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
    return false;
}

void PlantWindow::askExport(bool png) {
    const int tab = tabs_->currentIndex();
    const QString names[] = {"yield-per-hour", "failures-by-cause", "sockets"};
    const QString path = QFileDialog::getSaveFileName(
        this, png ? QStringLiteral("Export the chart") : QStringLiteral("Export the figures"),
        names[tab] + (png ? ".png" : ".csv"),
        png ? QStringLiteral("PNG (*.png)") : QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) exportCurrent(png, path);
}

bool PlantWindow::exportCurrent(bool png, const QString& path) const {
    const int tab = tabs_->currentIndex();
    QString why;
    if (png ? exportPng(tab, path, &why) : exportCsv(tab, path, &why)) return true;
    MsgBox(png ? QStringLiteral("The chart was not exported.")
               : QStringLiteral("The figures were not exported."),
           kStyleExclamation, QStringLiteral("Quarn Plant"), why);
    return false;
}

}  // namespace quarn::plant
