#include "ui/TCGauge.h"

#include <QPainter>

QColor colorFromBgr(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }
uint32_t bgrFromColor(const QColor& c) {
    return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

TCGauge::TCGauge(QWidget* parent) : QWidget(parent) {}

void TCGauge::setMaxValue(int m) {
    max_ = m;
    update();
}
void TCGauge::setProgress(int p) {
    pos_ = p;
    update();
}
void TCGauge::setForeColor(uint32_t bgr) {
    color_ = bgr;
    update();
}

void TCGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect r = rect();
    p.fillRect(r, Qt::white);
    p.setPen(Qt::gray);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (max_ > 0 && pos_ > 0) {
        const int w = int((long long)(r.width() - 2) * std::min(pos_, max_) / max_);
        p.fillRect(QRect(1, 1, w, r.height() - 2), colorFromBgr(color_));
    }
    const int pct = max_ > 0 ? int((long long)std::min(pos_, max_) * 100 / max_) : 0;
    p.setPen(Qt::black);
    p.drawText(r, Qt::AlignCenter, QString::number(pct) + "%");
}
