// Shared by the screenshot programs: the dialogs scripted, the window left
// to paint, then the screen around it saved.
#pragma once

#include <QApplication>
#include <QScreen>
#include <QString>
#include <QThread>
#include <QWidget>
#include <cstdio>
#include <optional>

#include "ui/file_dialog.h"
#include "ui/message_box.h"

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

// Every file dialog chooses db; messages go to stderr instead of boxes.
inline void script_dialogs(const QString& db) {
    ui::FileDialog::set_script([db](const ui::FileDialog&) { return std::optional<QString>(db); });
    ui::set_message_sink([](const QString& text, const QString&) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
}
