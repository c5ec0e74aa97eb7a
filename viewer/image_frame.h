// The photo frame of the viewer: shows a picture either at its natural size
// from the top-left corner, or stretched to fill the frame exactly.
#pragma once

#include <QPixmap>
#include <QWidget>

class ImageFrame : public QWidget {
public:
    explicit ImageFrame(QWidget* parent = nullptr) : QWidget(parent) {}

    void setPicture(const QPixmap& p);
    const QPixmap& picture() const { return picture_; }
    void setStretch(bool on);
    bool stretch() const { return stretch_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QPixmap picture_;
    bool stretch_ = false;
};
