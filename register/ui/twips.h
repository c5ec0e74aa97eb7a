// Window geometry from the layouts' twips (15 twips to a pixel) and the fonts
// they name.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

namespace ui {

constexpr int px(double twips) { return static_cast<int>(twips / 15.0 + 0.5); }
inline QRect twips_rect(int left, int top, int width, int height) { return QRect(px(left), px(top), px(width), px(height)); }
void place(QWidget* w, int left, int top, int width, int height);

// "Times New Roman" and "MS Sans Serif" at a point size; metric-compatible
// faces stand in where the named ones are not installed.
QFont font(const QString& family, double points);

}  // namespace ui
