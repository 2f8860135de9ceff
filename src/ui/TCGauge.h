#pragma once
// The progress gauge of the windows: a bar of a given colour over a sunken field.
#include <QWidget>
#include <cstdint>

class TCGauge : public QWidget {
    Q_OBJECT
public:
    explicit TCGauge(QWidget* parent = nullptr);
    int maxValue() const { return max_; }
    int progress() const { return pos_; }
    uint32_t foreColor() const { return color_; }  // 0x00BBGGRR
    void setMaxValue(int m);
    void setProgress(int p);
    void setForeColor(uint32_t bgr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int max_ = 100;
    int pos_ = 0;
    uint32_t color_ = 0x000000;
};

// 0x00BBGGRR as a Qt colour.
QColor colorFromBgr(uint32_t bgr);
uint32_t bgrFromColor(const QColor& c);
