// Shared by the screenshot programs: let the window paint, then save the
// screen around it.
#pragma once

#include <QApplication>
#include <QScreen>
#include <QString>
#include <QThread>
#include <QWidget>

inline void settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(25);
    }
}

inline bool save(const QWidget& w, const QString& path) {
    const QRect r = w.frameGeometry();
    return w.screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(path);
}
