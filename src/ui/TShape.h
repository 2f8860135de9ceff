#pragma once
// A rounded square with a black outline, filled with the colour the view gives
// it (ModeView::setColor): the windows' status shapes and the keyboard cells.
#include <QColor>
#include <QWidget>

#include "ui/QtModeView.h"

class TShape : public QWidget, public BgrPaintable {
    Q_OBJECT
public:
    TShape(const QString& name, const QRect& r, uint32_t bgr, qreal radius, QWidget* parent);
    void setBgr(uint32_t bgr) override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor fill_;
    qreal radius_;
};
