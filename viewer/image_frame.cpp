#include "image_frame.h"

#include <QPainter>

void ImageFrame::setPicture(const QPixmap& p) {
    picture_ = p;
    update();
}

void ImageFrame::setStretch(bool on) {
    stretch_ = on;
    update();
}

void ImageFrame::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    if (stretch_) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(rect(), picture_);
    } else {
        painter.drawPixmap(0, 0, picture_);
    }
}
