#include "platform/Clock.h"

#include <QFileInfo>
#include <QTimeZone>

#include <cmath>

namespace Platform {
namespace {

constexpr qint64 MSecsPerDayInt = 86400000;

QDate BaseDate() { return QDate(1899, 12, 30); }

TDateTime Combine(qint64 Days, qint64 MSecsOfDay) {
    const double fraction = double(MSecsOfDay) / MSecsPerDay;
    // Before the base date the day counts backwards but the time of day still counts forwards.
    return Days >= 0 ? double(Days) + fraction : double(Days) - fraction;
}

struct TDecoded {
    qint64 Days = 0;
    qint64 MSecsOfDay = 0;
};

// Values beyond about 2.7 million years (or NaN) decode as the base date: no caller has them, and
// converting them to integers would overflow.
constexpr double MaxDays = 1e9;

TDecoded Decode(TDateTime Value) {
    if (!std::isfinite(Value) || std::fabs(Value) > MaxDays)
        return {};
    double whole = 0;
    const double fraction = std::fabs(std::modf(Value, &whole));
    TDecoded result{qint64(whole), qint64(std::llround(fraction * MSecsPerDay))};
    if (result.MSecsOfDay >= MSecsPerDayInt) {  // rounded up to the next midnight
        result.MSecsOfDay -= MSecsPerDayInt;
        result.Days += Value >= 0 ? 1 : -1;
    }
    return result;
}

QString Padded(int Value, int Width) {
    return QStringLiteral("%1").arg(Value, Width, 10, QLatin1Char('0'));
}

}  // namespace

TDateTime NowDateTime() {
    return DateTimeFromQDateTime(QDateTime::currentDateTime());
}

TDateTime DateTimeFromQDateTime(const QDateTime& Value) {
    const QDateTime local = Value.toLocalTime();
    return Combine(BaseDate().daysTo(local.date()), local.time().msecsSinceStartOfDay());
}

QDateTime QDateTimeFromDateTime(TDateTime Value) {
    if (!std::isfinite(Value) || std::fabs(Value) > MaxDays)
        return {};
    const TDecoded decoded = Decode(Value);
    return QDateTime(BaseDate().addDays(decoded.Days), QTime::fromMSecsSinceStartOfDay(int(decoded.MSecsOfDay)),
                     Qt::LocalTime);
}

std::optional<TDateTime> EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second,
                                        int MilliSecond) {
    const QDate date(Year, Month, Day);
    const QTime time(Hour, Minute, Second, MilliSecond);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return Combine(BaseDate().daysTo(date), time.msecsSinceStartOfDay());
}

qint64 MilliSecondsBetween(TDateTime A, TDateTime B) {
    // Each value is rounded to its millisecond first, so 10:00:00.300 - 10:00:00.100 is 200, not the
    // 199 that truncating the difference of two doubles can give.
    const auto toMSecs = [](TDateTime Value) {
        const TDecoded decoded = Decode(Value);
        return decoded.Days * MSecsPerDayInt + decoded.MSecsOfDay;
    };
    const qint64 difference = toMSecs(A) - toMSecs(B);
    return difference < 0 ? -difference : difference;
}

std::optional<TDateTime> FileLastWriteDateTime(const QString& FileName) {
    const QFileInfo info(FileName);
    if (!info.exists())
        return std::nullopt;
    const QDateTime modified = info.lastModified();
    if (!modified.isValid())
        return std::nullopt;
    return DateTimeFromQDateTime(modified);
}

QString FormatDateTime(QStringView Format, TDateTime Value) {
    const TDecoded decoded = Decode(Value);
    const QDate date = BaseDate().addDays(decoded.Days);
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(decoded.MSecsOfDay));
    QString result;
    result.reserve(Format.size() + 8);
    QChar lastToken;  // the previous format letter, upper-cased: an "m" after an "h" means minutes
    qsizetype i = 0;
    const auto runLength = [&](QChar Letter) {
        qsizetype n = 0;
        while (i + n < Format.size() && Format.at(i + n).toUpper() == Letter)
            ++n;
        return n;
    };
    while (i < Format.size()) {
        const QChar c = Format.at(i);
        const QChar letter = c.toUpper();
        if (c == u'\'' || c == u'"') {
            const qsizetype end = Format.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? Format.size() : end;
            result += Format.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        const qsizetype n = runLength(letter);
        switch (letter.unicode()) {
        case u'Y':
            result += n >= 3 ? Padded(date.year(), 4) : Padded(date.year() % 100, 2);
            break;
        case u'M':
            if (lastToken == u'H')
                result += n >= 2 ? Padded(time.minute(), 2) : QString::number(time.minute());
            else
                result += n >= 2 ? Padded(date.month(), 2) : QString::number(date.month());
            break;
        case u'D':
            result += n >= 2 ? Padded(date.day(), 2) : QString::number(date.day());
            break;
        case u'H':
            result += n >= 2 ? Padded(time.hour(), 2) : QString::number(time.hour());
            break;
        case u'N':
            result += n >= 2 ? Padded(time.minute(), 2) : QString::number(time.minute());
            break;
        case u'S':
            result += n >= 2 ? Padded(time.second(), 2) : QString::number(time.second());
            break;
        case u'Z':
            result += n >= 3 ? Padded(time.msec(), 3) : QString::number(time.msec());
            break;
        default:
            result += Format.mid(i, n);
            i += n;
            continue;
        }
        lastToken = letter;
        i += n;
    }
    return result;
}

}  // namespace Platform
