#pragma once
// A label of one line that never widens its tile: a text too long for it is
// cut with "…", and the whole text stays in its tooltip (and, for screen
// readers, in the accessible name the tile gives it).

#include <QLabel>

namespace quarn::station {

class OneLineLabel : public QLabel {
    Q_OBJECT
public:
    explicit OneLineLabel(QWidget* parent = nullptr);
    void setFullText(const QString& text);
    QString fullText() const { return full_; }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    QString full_;
};

}  // namespace quarn::station
