#include "dataaccess/convert.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QMetaType>
#include <QRegularExpression>
#include <QTime>
#include <QUuid>

#include <array>
#include <cmath>
#include <cstddef>
#include <exception>
#include <limits>
#include <string>
#include <utility>

#include "dataaccess/error.h"
#include "dataaccess/engine_error.h"
#include "dataaccess/qt_text.h"
#include "errors/access.h"
#include "jet/error.h"
#include "jet/value.h"

namespace dataaccess {

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// The names Access shows for the column types.
QString access_type_name(jet::ColumnType t) {
    switch (t) {
        case jet::ColumnType::Boolean: return QStringLiteral("Логический");
        case jet::ColumnType::Byte: return QStringLiteral("Числовой, байт");
        case jet::ColumnType::Integer: return QStringLiteral("Числовой, целое");
        case jet::ColumnType::Long: return QStringLiteral("Числовой, длинное целое");
        case jet::ColumnType::Currency: return QStringLiteral("Денежный");
        case jet::ColumnType::Single: return QStringLiteral("Числовой, одинарное с плавающей точкой");
        case jet::ColumnType::Double: return QStringLiteral("Числовой, двойное с плавающей точкой");
        case jet::ColumnType::DateTime: return QStringLiteral("Дата/время");
        case jet::ColumnType::Binary: return QStringLiteral("Двоичный");
        case jet::ColumnType::Text: return QStringLiteral("Текстовый");
        case jet::ColumnType::Ole: return QStringLiteral("Поле объекта OLE");
        case jet::ColumnType::Memo: return QStringLiteral("Поле MEMO");
        case jet::ColumnType::Guid: return QStringLiteral("Код репликации");
        case jet::ColumnType::Decimal: return QStringLiteral("Числовой, действительное");
    }
    return QStringLiteral("неизвестного типа");
}

// The value as a user would recognise it in a message.
QString shown(const QVariant& v) {
    QString text = v.toString();
    if (text.isEmpty()) return QStringLiteral("типа %1").arg(QString::fromLatin1(v.typeName()));
    if (text.size() > 60) text = text.left(60) + QStringLiteral("…");
    return quoted(text);
}

[[noreturn]] void mismatch(const jet::Column& c, const QVariant& v) {
    throw data_error(errors::describe(errors::AccessFault::Conversion, {c.name, utf8(access_type_name(c.type)), utf8(shown(v))}));
}

[[noreturn]] void out_of_range(const jet::Column& c, const QVariant& v) {
    throw data_error(errors::describe(errors::AccessFault::OutOfRange, {c.name, utf8(access_type_name(c.type)), utf8(shown(v))}));
}

// ---------------------------------------------------------------------------
// Values read: jet to QVariant

QDateTime to_datetime(const jet::DateTime& d) {
    if (!std::isfinite(d.days)) return QDateTime();
    const jet::CivilTime c = jet::to_civil(d);
    // Jet's dates have no time zone: the fields go into a UTC QDateTime as they are.
    return QDateTime(QDate(static_cast<int>(c.year), c.month, c.day), QTime(c.hour, c.minute, c.second, c.millisecond), Qt::UTC);
}

}  // namespace

QVariant to_variant(const jet::Value& value) {
    return std::visit(Overloaded{
                          [](const jet::Null&) { return QVariant(); },
                          [](bool b) { return QVariant(b); },
                          [](std::int64_t i) {
                              if (i >= std::numeric_limits<int>::min() && i <= std::numeric_limits<int>::max()) {
                                  return QVariant(static_cast<int>(i));
                              }
                              return QVariant(static_cast<qint64>(i));
                          },
                          // A Single reads as the double its shortest digits name: 0.1, not 0.100000001490116.
                          [](float f) {
                              if (!std::isfinite(f)) return QVariant(static_cast<double>(f));
                              return QVariant(QString::fromStdString(jet::shortest(f)).toDouble());
                          },
                          [](double d) { return QVariant(d); },
                          [](const jet::Currency& m) { return QVariant(static_cast<double>(m.units) / 10000.0); },
                          [](const jet::Decimal& d) { return QVariant(QString::fromStdString(jet::to_string(d)).toDouble()); },
                          [](const jet::DateTime& d) { return QVariant(to_datetime(d)); },
                          [](const jet::Guid& g) { return QVariant(QString::fromStdString(jet::to_string(g))); },
                          [](const std::string& s) { return QVariant(QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()))); },
                          [](const jet::Binary& b) {
                              return QVariant(QByteArray(reinterpret_cast<const char*>(b.bytes.data()), static_cast<qsizetype>(b.bytes.size())));
                          },
                      },
                      value);
}

long stored_size(const jet::Value& value, jet::ColumnType type) {
    if (jet::is_null(value)) return 0;
    if (const auto* s = std::get_if<std::string>(&value)) {
        return static_cast<long>(QString::fromUtf8(s->data(), static_cast<qsizetype>(s->size())).size()) * 2;
    }
    if (const auto* b = std::get_if<jet::Binary>(&value)) return static_cast<long>(b->bytes.size());
    if (type == jet::ColumnType::Boolean) return 2;  // as a Yes/No travels to the programs
    return static_cast<long>(jet::fixed_size(type));
}

namespace {

// ---------------------------------------------------------------------------
// Values put: QVariant to jet, by the column's type

bool is_whole_type(int t) {
    switch (t) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Char: return true;
        default: return false;
    }
}

bool is_unsigned_type(int t) {
    return t == QMetaType::UInt || t == QMetaType::ULongLong || t == QMetaType::UShort || t == QMetaType::ULong || t == QMetaType::UChar;
}

bool is_real_type(int t) { return t == QMetaType::Double || t == QMetaType::Float; }

bool is_text_type(int t) { return t == QMetaType::QString || t == QMetaType::QChar; }

// A whole number held by the variant, when it holds one that fits.
std::optional<std::int64_t> whole_of(const QVariant& v) {
    const int t = v.typeId();
    if (!is_whole_type(t)) return std::nullopt;
    if (is_unsigned_type(t)) {
        const qulonglong u = v.toULongLong();
        if (u > static_cast<qulonglong>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    return static_cast<std::int64_t>(v.toLongLong());
}

// Number text as the programs and users write it: a decimal point or a
// decimal comma, no grouping.
QString plain_number_text(const QString& s) {
    QString t = s.trimmed();
    if (t.count(u',') == 1 && !t.contains(u'.')) t.replace(u',', u'.');
    return t;
}

std::optional<double> number_of_text(const QString& s) {
    bool ok = false;
    const double d = plain_number_text(s).toDouble(&ok);
    if (!ok || !std::isfinite(d)) return std::nullopt;
    return d;
}

// A number held by the variant: whole, real, bool (True is -1, as the
// platform counts it) or number text.
std::optional<double> real_of(const QVariant& v) {
    const int t = v.typeId();
    if (t == QMetaType::Bool) return v.toBool() ? -1.0 : 0.0;
    if (auto i = whole_of(v)) return static_cast<double>(*i);
    if (is_whole_type(t)) return static_cast<double>(v.toULongLong());
    if (is_real_type(t)) {
        const double d = v.toDouble();
        if (!std::isfinite(d)) return std::nullopt;
        return d;
    }
    if (is_text_type(t)) return number_of_text(v.toString());
    return std::nullopt;
}

// A value scaled to a whole number of 10^-scale units, as Currency and
// Decimal keep it: at most 96 bits, least significant word first.
struct Scaled {
    bool negative = false;
    std::array<std::uint32_t, 4> words{};
    int digits = 0;  // decimal digits of the magnitude
};

// Reads "-123.456" exactly, rounding half away from zero past the scale.
std::optional<Scaled> scaled_of_text(const QString& text, int scale) {
    const QString t = plain_number_text(text);
    qsizetype i = 0;
    Scaled out;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) out.negative = t[i++] == u'-';
    QString digits;
    int fraction_digits = 0;
    bool point = false, any = false, decided = false, round_up = false;
    for (; i < t.size(); ++i) {
        const QChar ch = t[i];
        if (ch == u'.' && !point) {
            point = true;
            continue;
        }
        if (ch < u'0' || ch > u'9') return std::nullopt;
        any = true;
        if (!point) {
            digits += ch;
        } else if (fraction_digits < scale) {
            digits += ch;
            ++fraction_digits;
        } else if (!decided) {  // the first digit past the scale decides the rounding
            round_up = ch >= u'5';
            decided = true;
        }
    }
    if (!any) return std::nullopt;
    for (int k = fraction_digits; k < scale; ++k) digits += u'0';
    auto times_ten_plus = [&](std::uint32_t add) {
        std::uint64_t carry = add;
        for (auto& w : out.words) {
            const std::uint64_t x = static_cast<std::uint64_t>(w) * 10 + carry;
            w = static_cast<std::uint32_t>(x & 0xFFFFFFFFu);
            carry = x >> 32;
        }
        return carry == 0 && out.words[3] == 0;
    };
    for (QChar ch : digits) {
        if (!times_ten_plus(static_cast<std::uint32_t>(ch.unicode() - u'0'))) return std::nullopt;
    }
    if (round_up) {
        std::uint64_t carry = 1;
        for (auto& w : out.words) {
            const std::uint64_t x = static_cast<std::uint64_t>(w) + carry;
            w = static_cast<std::uint32_t>(x & 0xFFFFFFFFu);
            carry = x >> 32;
        }
        if (out.words[3] != 0) return std::nullopt;
    }
    // Count the magnitude's digits.
    std::array<std::uint32_t, 4> m = out.words;
    auto zero = [&] { return m[0] == 0 && m[1] == 0 && m[2] == 0 && m[3] == 0; };
    if (zero()) out.negative = false;
    while (!zero()) {
        std::uint64_t rest = 0;
        for (std::size_t k = m.size(); k-- > 0;) {
            const std::uint64_t x = (rest << 32) | m[k];
            m[k] = static_cast<std::uint32_t>(x / 10);
            rest = x % 10;
        }
        ++out.digits;
    }
    return out;
}

// Decimal text for the variant's number, for Currency and Decimal columns.
std::optional<QString> decimal_text_of(const QVariant& v, int scale) {
    const int t = v.typeId();
    if (is_text_type(t)) return v.toString();
    if (auto i = whole_of(v)) return QString::number(*i);
    if (auto d = real_of(v)) return QString::number(*d, 'f', scale);
    return std::nullopt;
}

jet::Value currency_of(const jet::Column& c, const QVariant& v) {
    const std::optional<QString> text = decimal_text_of(v, 4);
    if (!text) mismatch(c, v);
    const std::optional<Scaled> s = scaled_of_text(*text, 4);
    if (!s) {
        if (number_of_text(*text)) out_of_range(c, v);
        mismatch(c, v);
    }
    if (s->words[2] != 0 || s->words[3] != 0) out_of_range(c, v);
    const std::uint64_t units = (static_cast<std::uint64_t>(s->words[1]) << 32) | s->words[0];
    if (units > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) out_of_range(c, v);
    const auto n = static_cast<std::int64_t>(units);
    return jet::Currency{s->negative ? -n : n};
}

jet::Value decimal_of(const jet::Column& c, const QVariant& v) {
    const std::optional<QString> text = decimal_text_of(v, c.scale);
    if (!text) mismatch(c, v);
    const std::optional<Scaled> s = scaled_of_text(*text, c.scale);
    if (!s) {
        if (number_of_text(*text)) out_of_range(c, v);
        mismatch(c, v);
    }
    const int precision = c.precision == 0 ? 28 : c.precision;
    if (s->digits > precision) out_of_range(c, v);
    jet::Decimal d;
    d.negative = s->negative;
    d.magnitude = s->words;
    d.scale = c.scale;
    d.precision = c.precision;
    return d;
}

jet::Value whole_of_column(const jet::Column& c, const QVariant& v) {
    std::int64_t n = 0;
    if (auto i = whole_of(v)) {
        n = *i;
    } else {
        const std::optional<double> d = real_of(v);
        if (!d) mismatch(c, v);
        // Rounded to the nearest, a half to the even neighbour, as the platform converts.
        const double r = std::nearbyint(*d);
        if (std::fabs(r) > 9.0e18) out_of_range(c, v);
        n = static_cast<std::int64_t>(r);
    }
    std::int64_t lo = std::numeric_limits<std::int32_t>::min(), hi = std::numeric_limits<std::int32_t>::max();
    if (c.type == jet::ColumnType::Byte) {
        lo = 0;
        hi = 255;
    } else if (c.type == jet::ColumnType::Integer) {
        lo = -32768;
        hi = 32767;
    }
    if (n < lo || n > hi) out_of_range(c, v);
    return n;
}

std::optional<bool> bool_of_text(const QString& s) {
    const QString t = s.trimmed();
    for (const char* yes : {"true", "истина", "да", "yes"}) {
        if (t.compare(QString::fromUtf8(yes), Qt::CaseInsensitive) == 0) return true;
    }
    for (const char* no : {"false", "ложь", "нет", "no"}) {
        if (t.compare(QString::fromUtf8(no), Qt::CaseInsensitive) == 0) return false;
    }
    if (auto d = number_of_text(t)) return *d != 0;
    return std::nullopt;
}

bool in_jet_calendar(const QDate& d) { return d.isValid() && d.year() >= 100 && d.year() <= 9999; }

jet::DateTime datetime_of_parts(const QDate& d, const QTime& t) {
    return jet::from_civil(jet::CivilTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()});
}

// "31.12.1999", "31.12.1999 23:59[:59]", "1999-12-31[T| ]23:59:59[.zzz]", or a time alone (on day zero).
std::optional<jet::DateTime> datetime_of_text(const QString& s) {
    const QString t = s.simplified();
    QString date_part = t, time_part;
    qsizetype split = t.indexOf(u' ');
    if (split < 0 && t.size() > 10 && t[10] == u'T') split = 10;
    if (split >= 0) {
        date_part = t.left(split);
        time_part = t.mid(split + 1);
    }
    QDate date;
    QTime time(0, 0);
    if (!time_part.isEmpty() || date_part.contains(u'.') || date_part.contains(u'-')) {
        for (const char* f : {"d.M.yyyy", "dd.MM.yyyy", "yyyy-M-d", "yyyy-MM-dd"}) {
            date = QDate::fromString(date_part, QString::fromLatin1(f));
            if (date.isValid()) break;
        }
        if (!date.isValid()) return std::nullopt;
    } else {
        time_part = date_part;  // a time alone
        date = QDate(1899, 12, 30);
    }
    if (!time_part.isEmpty()) {
        time = QTime();
        for (const char* f : {"H:mm:ss.zzz", "H:mm:ss", "H:mm", "HH:mm:ss.zzz", "HH:mm:ss", "HH:mm"}) {
            time = QTime::fromString(time_part, QString::fromLatin1(f));
            if (time.isValid()) break;
        }
        if (!time.isValid()) return std::nullopt;
    }
    if (!in_jet_calendar(date)) return std::nullopt;
    return datetime_of_parts(date, time);
}

jet::Value datetime_of(const jet::Column& c, const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::QDateTime: {
            // The date and time as the value shows them: no shift between zones.
            const QDateTime dt = v.toDateTime();
            if (!dt.isValid() || !in_jet_calendar(dt.date())) out_of_range(c, v);
            return datetime_of_parts(dt.date(), dt.time());
        }
        case QMetaType::QDate: {
            const QDate d = v.toDate();
            if (!in_jet_calendar(d)) out_of_range(c, v);
            return datetime_of_parts(d, QTime(0, 0));
        }
        case QMetaType::QTime: {
            const QTime t = v.toTime();
            if (!t.isValid()) mismatch(c, v);
            return datetime_of_parts(QDate(1899, 12, 30), t);
        }
        default: break;
    }
    if (is_text_type(v.typeId())) {
        if (auto d = datetime_of_text(v.toString())) return *d;
        mismatch(c, v);
    }
    if (v.typeId() == QMetaType::Bool) mismatch(c, v);
    const std::optional<double> days = real_of(v);
    if (!days) mismatch(c, v);
    // Days since day zero: within the years 100 to 9999.
    if (*days < -657434.0 || *days >= 2958466.0) out_of_range(c, v);
    return jet::DateTime{*days};
}

jet::Value guid_of(const jet::Column& c, const QVariant& v) {
    if (!is_text_type(v.typeId())) mismatch(c, v);
    const QString text = v.toString().trimmed();
    const QUuid u = QUuid::fromString(text);
    if (u.isNull() && text.count(u'0') != 32) mismatch(c, v);
    jet::Guid g;
    // As the file keeps a GUID: the first three groups least significant byte first.
    for (int k = 0; k < 4; ++k) g.bytes[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(u.data1 >> (8 * k));
    for (int k = 0; k < 2; ++k) g.bytes[static_cast<std::size_t>(4 + k)] = static_cast<std::uint8_t>(u.data2 >> (8 * k));
    for (int k = 0; k < 2; ++k) g.bytes[static_cast<std::size_t>(6 + k)] = static_cast<std::uint8_t>(u.data3 >> (8 * k));
    for (std::size_t k = 0; k < 8; ++k) g.bytes[8 + k] = u.data4[k];
    return g;
}

jet::Value text_of(const jet::Column& c, const QVariant& v) {
    const int t = v.typeId();
    QString s;
    if (is_text_type(t)) {
        s = v.toString();
    } else if (t == QMetaType::Bool) {
        s = v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    } else if (auto i = whole_of(v)) {
        s = QString::number(*i);
    } else if (is_real_type(t)) {
        s = QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    } else {
        mismatch(c, v);
    }
    if (c.type == jet::ColumnType::Text && s.size() * 2 > c.length) {
        throw data_error(errors::describe(errors::AccessFault::TextTooLong,
                                          {c.name, std::to_string(c.length / 2), std::to_string(s.size())}));
    }
    return s.toStdString();
}

jet::Value binary_of(const jet::Column& c, const QVariant& v) {
    if (v.typeId() != QMetaType::QByteArray) mismatch(c, v);
    const QByteArray a = v.toByteArray();
    if (c.type == jet::ColumnType::Binary && a.size() > c.length) {
        throw data_error(errors::describe(errors::AccessFault::BytesTooLong, {c.name, std::to_string(c.length), std::to_string(a.size())}));
    }
    jet::Binary b;
    b.bytes.assign(reinterpret_cast<const std::uint8_t*>(a.constData()), reinterpret_cast<const std::uint8_t*>(a.constData()) + a.size());
    return b;
}

}  // namespace

jet::Value to_jet(const jet::Column& c, const QVariant& v) {
    const bool text_column = c.type == jet::ColumnType::Text || c.type == jet::ColumnType::Memo;
    bool null = !v.isValid() || v.typeId() == QMetaType::Nullptr;
    // An emptied entry box means no value in a column of any other type.
    if (!text_column && is_text_type(v.typeId()) && v.toString().trimmed().isEmpty()) null = true;
    if (null) {
        if (c.type == jet::ColumnType::Boolean) return false;  // a Yes/No column has no Null
        return jet::Null{};
    }
    switch (c.type) {
        case jet::ColumnType::Text:
        case jet::ColumnType::Memo: return text_of(c, v);
        case jet::ColumnType::Boolean: {
            if (v.typeId() == QMetaType::Bool) return v.toBool();
            if (is_text_type(v.typeId())) {
                if (auto b = bool_of_text(v.toString())) return *b;
                mismatch(c, v);
            }
            if (auto d = real_of(v)) return *d != 0;
            mismatch(c, v);
        }
        case jet::ColumnType::Byte:
        case jet::ColumnType::Integer:
        case jet::ColumnType::Long: return whole_of_column(c, v);
        case jet::ColumnType::Currency: return currency_of(c, v);
        case jet::ColumnType::Decimal: return decimal_of(c, v);
        case jet::ColumnType::Single:
        case jet::ColumnType::Double: {
            const std::optional<double> d = real_of(v);
            if (!d) mismatch(c, v);
            if (c.type == jet::ColumnType::Double) return *d;
            if (std::fabs(*d) > static_cast<double>(std::numeric_limits<float>::max())) out_of_range(c, v);
            return static_cast<float>(*d);
        }
        case jet::ColumnType::DateTime: return datetime_of(c, v);
        case jet::ColumnType::Binary:
        case jet::ColumnType::Ole: return binary_of(c, v);
        case jet::ColumnType::Guid: return guid_of(c, v);
    }
    mismatch(c, v);
}

// A new row before anything is put into it.
jet::Value empty_value(const jet::Column& c) {
    if (c.type == jet::ColumnType::Boolean) return false;
    return jet::Null{};
}

}  // namespace dataaccess
