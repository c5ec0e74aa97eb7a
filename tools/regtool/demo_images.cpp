#include "demo_images.h"

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <string>

#include "demo_rng.h"

namespace regtool {
namespace {

using Rng = DemoRng;

// A colour of any hue, with saturation and value in the ranges given.
QColor hsv(Rng& rng, int s_lo, int s_hi, int v_lo, int v_hi) {
    const int hue = rng.range(0, 359);
    const int saturation = rng.range(s_lo, s_hi);
    const int value = rng.range(v_lo, v_hi);
    return QColor::fromHsv(hue, saturation, value);
}

// A number in [lo, hi] in steps of a hundredth.
double real(Rng& rng, double lo, double hi) { return lo + (hi - lo) * rng.range(0, 100) / 100.0; }

const QColor kSkins[] = {{255, 219, 172}, {241, 194, 125}, {234, 192, 134}, {224, 172, 105}, {198, 134, 66}};
const QColor kHair[] = {{35, 30, 28}, {92, 58, 38}, {60, 40, 30}, {196, 160, 92}, {150, 150, 150}, {140, 62, 32}};
const QColor kIrises[] = {{70, 110, 160}, {90, 70, 45}, {80, 120, 80}, {110, 110, 120}};

enum class Hair { Short, Long, Bald, Curly };

// The face, with everything in a frame of its own: x from -50 to 50 across the
// shoulders, y upwards negative from the bottom edge at 0; the head's top is at
// about y = -82.
struct Face {
    QColor background, skin, hair, iris, clothes;
    Hair style;
    double head_rx, head_ry, eye_dx, smile;
    bool glasses;
};

Face random_face(std::uint32_t seed) {
    Rng rng(0xFACE000000000000ull ^ seed);
    Face f;
    f.background = hsv(rng, 20, 70, 190, 240);
    f.skin = rng.pick(kSkins);
    f.hair = rng.pick(kHair);
    f.iris = rng.pick(kIrises);
    f.clothes = hsv(rng, 40, 200, 50, 170);
    f.style = static_cast<Hair>(rng.range(0, 3));
    f.head_rx = real(rng, 15.5, 18.5);
    f.head_ry = real(rng, 19.5, 23.0);
    f.eye_dx = real(rng, 6.0, 7.8);
    f.smile = real(rng, -1.0, 3.0);
    f.glasses = rng.chance(30);
    return f;
}

void draw_face(QPainter& p, const Face& f) {
    const double head_y = -56;
    const QPointF head(0, head_y);
    p.setPen(Qt::NoPen);

    // Hair that lies behind the head.
    p.setBrush(f.hair);
    if (f.style == Hair::Long) {
        p.drawRoundedRect(QRectF(-f.head_rx - 4.5, head_y - f.head_ry - 2, 2 * f.head_rx + 9, f.head_ry + 34), 10, 10);
    } else if (f.style == Hair::Short) {
        p.drawEllipse(QPointF(0, head_y - 2), f.head_rx + 1.5, f.head_ry + 1.5);
    }

    // Shoulders and neck.
    QLinearGradient cloth(0, -30, 0, 0);
    cloth.setColorAt(0, f.clothes.lighter(120));
    cloth.setColorAt(1, f.clothes.darker(130));
    p.setBrush(cloth);
    p.drawEllipse(QPointF(0, 8), 48, 40);
    p.setBrush(f.skin.darker(115));
    p.drawRect(QRectF(-7.5, head_y + f.head_ry - 8, 15, 24));
    QPainterPath collar;
    collar.moveTo(-8, -31);
    collar.lineTo(8, -31);
    collar.lineTo(0, -17);
    collar.closeSubpath();
    p.setBrush(f.skin.darker(115));
    p.drawPath(collar);

    // Ears, then the head over them.
    p.setBrush(f.skin.darker(108));
    p.drawEllipse(QPointF(-f.head_rx, head_y + 1), 3.5, 5.5);
    p.drawEllipse(QPointF(f.head_rx, head_y + 1), 3.5, 5.5);
    QRadialGradient shade(QPointF(-4, head_y - 6), f.head_ry * 1.4);
    shade.setColorAt(0, f.skin.lighter(108));
    shade.setColorAt(1, f.skin.darker(112));
    p.setBrush(shade);
    p.drawEllipse(head, f.head_rx, f.head_ry);

    // Hair over the head.
    p.setBrush(f.hair);
    const QRectF crown(-f.head_rx - 0.8, head_y - f.head_ry - 1.5, 2 * f.head_rx + 1.6, f.head_ry * 1.2);
    switch (f.style) {
    case Hair::Short:
    case Hair::Long: {
        QPainterPath cap;
        cap.moveTo(crown.center());
        cap.arcTo(crown, 0, 180);
        cap.closeSubpath();
        p.drawPath(cap);
        break;
    }
    case Hair::Bald:
        p.drawEllipse(QPointF(-f.head_rx + 1.5, head_y - 4), 2.2, 6);
        p.drawEllipse(QPointF(f.head_rx - 1.5, head_y - 4), 2.2, 6);
        break;
    case Hair::Curly:
        for (int i = 0; i <= 8; ++i) {
            const double a = 3.14159265358979 * i / 8;
            p.drawEllipse(QPointF(-std::cos(a) * f.head_rx * 0.95, head_y - std::sin(a) * f.head_ry * 0.9 - 3), 5.0, 5.0);
        }
        break;
    }

    // Eyes, brows, nose, mouth.
    const double eye_y = head_y - 2;
    for (double side : {-1.0, 1.0}) {
        const QPointF eye(side * f.eye_dx, eye_y);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(eye, 3.4, 2.1);
        p.setBrush(f.iris);
        p.drawEllipse(eye, 1.5, 1.5);
        p.setBrush(Qt::black);
        p.drawEllipse(eye, 0.7, 0.7);
        p.setPen(QPen(f.hair.darker(110), 1.1, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(side * (f.eye_dx - 3), eye_y - 4.2), QPointF(side * (f.eye_dx + 3.5), eye_y - 4.8));
        if (f.glasses) {
            p.setPen(QPen(QColor(40, 40, 40), 0.8));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(eye, 4.6, 3.8);
        }
    }
    if (f.glasses) p.drawLine(QPointF(-f.eye_dx + 4.6, eye_y), QPointF(f.eye_dx - 4.6, eye_y));

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(f.skin.darker(135), 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath nose;
    nose.moveTo(0.3, eye_y + 1);
    nose.lineTo(-1.6, head_y + 7);
    nose.lineTo(1.2, head_y + 7.5);
    p.drawPath(nose);

    p.setPen(QPen(QColor(150, 60, 60), 1.2, Qt::SolidLine, Qt::RoundCap));
    QPainterPath mouth;
    const double mouth_y = head_y + 13;
    mouth.moveTo(-5, mouth_y);
    mouth.quadTo(0, mouth_y + f.smile, 5, mouth_y);
    p.drawPath(mouth);
}

QImage draw_portrait(int w, int h, std::uint32_t seed) {
    QImage img(w, h, QImage::Format_RGB32);
    if (img.isNull()) return img;  // too large to be held: not saved
    const Face face = random_face(seed);

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, face.background.lighter(115));
    sky.setColorAt(1, face.background.darker(125));
    p.fillRect(img.rect(), sky);

    // The figure stands on the bottom edge, centred; the shoulders may run out
    // of a narrow picture, the head stays inside.
    const double scale = std::min(w / 80.0, h / 95.0);
    p.translate(w / 2.0, h);
    p.scale(scale, scale);
    draw_face(p, face);
    p.end();
    return img;
}

// What the module's entry answers.
enum Outcome { kSaved = 0, kNoSize = 1, kNotWritten = 2 };

Outcome save_portrait(const std::string& path, int w, int h, std::uint32_t seed, const char* format) {
    if (w <= 0 || h <= 0) return kNoSize;
    const QImage img = draw_portrait(w, h, seed);
    return img.save(QString::fromStdString(path), format) ? kSaved : kNotWritten;
}

}  // namespace

}  // namespace regtool

// The module's one entry (portraits.cpp loads it): a portrait saved, or why
// not, as a number; nothing else crosses the module's edge.
extern "C" __attribute__((visibility("default"))) int regtool_write_portrait(const char* path, int w, int h, std::uint32_t seed,
                                                                              const char* format) noexcept {
    try {
        return regtool::save_portrait(path, w, h, seed, format);
    } catch (...) {
        return regtool::kNotWritten;
    }
}
