#include "ui/TCGauge.h"

#include <QPainter>
#include <algorithm>

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
    const QRect r = rect();
    p.fillRect(r, Qt::white);
    p.setPen(Qt::gray);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const int w = max_ > 0 ? int((long long)(r.width() - 2) * std::clamp(pos_, 0, max_) / max_) : 0;
    const QRect bar(1, 1, w, r.height() - 2);
    const QColor fill = colorFromBgr(color_);
    p.fillRect(bar, fill);
    const int pct = max_ > 0 ? int((long long)std::clamp(pos_, 0, max_) * 100 / max_) : 0;
    const QString text = QString::number(pct) + "%";
    // The figure stays readable over the bar: light on a dark bar, dark elsewhere.
    p.setPen(Qt::black);
    p.setClipRect(r.adjusted(w + 1, 0, 0, 0));
    p.drawText(r, Qt::AlignCenter, text);
    p.setClipRect(bar);
    const int luma = (299 * fill.red() + 587 * fill.green() + 114 * fill.blue()) / 1000;
    p.setPen(luma < 140 ? Qt::white : Qt::black);
    p.drawText(r, Qt::AlignCenter, text);
}
