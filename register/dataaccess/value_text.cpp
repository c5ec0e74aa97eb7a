#include "dataaccess/value_text.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QMetaType>
#include <QTime>

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace dataaccess {

namespace {

// Jet's day zero: a date/time value on it is a time of day alone.
const QDate kDayZero(1899, 12, 30);
constexpr int kSecondsPerDay = 24 * 60 * 60;

// Numbers written out in full between these powers of ten; beyond them the
// digits would run long, so they take an exponent as the platform shows them.
constexpr int kSmallestPlainExponent = -5;  // 0,00001
constexpr int kLargestPlainExponent = 14;   // 999999999999999

// The shortest digits that read back as the same value (std::to_chars picks
// them for the type given, so a float is not padded out to a double's
// digits), in Russian form: decimal comma, no grouping.
template <typename F>
QString number_text(F x) {
    if (std::isnan(x)) return QStringLiteral("NaN");
    if (std::isinf(x)) return x < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    if (x == 0) return QStringLiteral("0");  // -0 as well

    // "-d.ddde+XX": the C library's own form, whatever the locale.
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    if (ec != std::errc()) return QString::number(static_cast<double>(x), 'g', 17);  // cannot happen: the buffer fits any value
    std::string_view text(buf, static_cast<std::size_t>(end - buf));

    const bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    const std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e)) {
        if (c != '.') digits += c;
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string_view exp_text = text.substr(e + 1);
    const bool exp_negative = exp_text.front() == '-';
    if (exp_text.front() == '-' || exp_text.front() == '+') exp_text.remove_prefix(1);
    int exponent = 0;
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
    if (exp_negative) exponent = -exponent;

    std::string out = negative ? "-" : "";
    if (exponent >= kSmallestPlainExponent && exponent <= kLargestPlainExponent) {
        if (exponent >= 0) {
            const auto whole = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= whole) {
                out += digits;
                out.append(whole - digits.size(), '0');
            } else {
                out += digits.substr(0, whole);
                out += ',';
                out += digits.substr(whole);
            }
        } else {
            out += "0,";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += ',';
            out += digits.substr(1);
        }
        out += exponent < 0 ? "E-" : "E+";
        const std::string magnitude = std::to_string(exponent < 0 ? -exponent : exponent);
        if (magnitude.size() < 2) out += '0';
        out += magnitude;
    }
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

QString two_digits(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

// dd.MM.yyyy, the year always in four digits or more.
QString date_text(const QDate& d) {
    const int year = d.year();
    QString y = QString::number(year < 0 ? -static_cast<qint64>(year) : year).rightJustified(4, QLatin1Char('0'));
    if (year < 0) y.prepend(u'-');
    return two_digits(d.day()) + u'.' + two_digits(d.month()) + u'.' + y;
}

// H:mm:ss, the hours not padded.
QString time_text(int seconds_of_day) {
    const int h = seconds_of_day / 3600;
    const int m = seconds_of_day / 60 % 60;
    const int s = seconds_of_day % 60;
    return QString::number(h) + u':' + two_digits(m) + u':' + two_digits(s);
}

// Times are shown to the second, rounded as the platform rounds them.
int rounded_seconds(const QTime& time) {
    return (time.msecsSinceStartOfDay() + 500) / 1000;
}

// A fraction of a second that rounds up past midnight moves to the next day.
QString date_time_text(QDate date, const QTime& time) {
    int seconds = rounded_seconds(time);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        date = date.addDays(1);
    }
    if (seconds == 0) return date_text(date);
    if (date == kDayZero) return time_text(seconds);
    return date_text(date) + u' ' + time_text(seconds);
}

}  // namespace

QString value_text(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return {};

    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QString::number(v.toLongLong());
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QString::number(v.toULongLong());
    case QMetaType::Double:
        return number_text(v.toDouble());
    case QMetaType::Float:
        return number_text(v.toFloat());
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        // The date and time as stored, in the value's own time spec.
        return dt.isValid() ? date_time_text(dt.date(), dt.time()) : QString();
    }
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        return d.isValid() ? date_text(d) : QString();
    }
    case QMetaType::QTime: {
        const QTime t = v.toTime();
        return t.isValid() ? time_text(rounded_seconds(t) % kSecondsPerDay) : QString();
    }
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    default:
        return v.toString();
    }
}

}  // namespace dataaccess
