#include "ui/twips.h"

#include <QWidget>

#include <mutex>

namespace ui {

namespace {

// Where the layouts' Windows faces are missing, Liberation's faces of the
// same metrics keep the text inside the boxes laid out for it. Qt consults
// substitutes only when the family itself is not installed.
void register_substitutes() {
    static std::once_flag once;
    std::call_once(once, [] {
        QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"));
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    });
}

}  // namespace

void place(QWidget* w, int left, int top, int width, int height) {
    if (w) w->setGeometry(twips_rect(left, top, width, height));
}

QFont font(const QString& family, double points) {
    register_substitutes();
    QFont f(family);
    // Without either face, fall back at least to the right kind of face.
    if (family.compare(QLatin1String("Times New Roman"), Qt::CaseInsensitive) == 0)
        f.setStyleHint(QFont::Serif);
    else if (family.compare(QLatin1String("MS Sans Serif"), Qt::CaseInsensitive) == 0)
        f.setStyleHint(QFont::SansSerif);
    // Qt refuses sizes that are not positive (and warns); keep its default then.
    if (points > 0) f.setPointSizeF(points);
    return f;
}

}  // namespace ui
