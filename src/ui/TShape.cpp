#include "ui/TShape.h"

#include <QPainter>

#include "ui/TCGauge.h"

TShape::TShape(const QString& name, const QRect& r, uint32_t bgr, qreal radius, QWidget* parent)
    : QWidget(parent), radius_(radius) {
    setObjectName(name);
    setGeometry(r);
    setBgr(bgr);
}

void TShape::setBgr(uint32_t bgr) {
    setProperty("bgr", QVariant::fromValue<uint>(bgr));
    fill_ = colorFromBgr(bgr);
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill_);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_, radius_);
}
