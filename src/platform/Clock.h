// Clock.h: Delphi's date-time value as the design stores and compares it: a double counting days since
// 1899-12-30 whose fraction is the time of day, in local time. Conversions to and from QDateTime, the
// file modification time, and FormatDateTime with the Delphi format letters the logs and
// configuration use. Pure functions, any thread; nothing throws.
#pragma once
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <optional>

namespace Platform {

// Days since 1899-12-30 00:00 local time; the fraction is the time of day. Negative values count
// whole days backwards while the fraction still counts forward from midnight (-1.25 is
// 1899-12-29 06:00), as in Delphi.
using TDateTime = double;

constexpr double HoursPerDay = 24.0;
constexpr double MSecsPerDay = 86400000.0;

TDateTime NowDateTime();
// The value of the local time of Value (converted from UTC or any other zone first).
TDateTime DateTimeFromQDateTime(const QDateTime& Value);
// Rounded to the nearest millisecond, in local time; invalid for values outside QDate's range.
QDateTime QDateTimeFromDateTime(TDateTime Value);
// Date-times built from calendar fields; an invalid combination answers nullopt.
std::optional<TDateTime> EncodeDateTime(int Year, int Month, int Day, int Hour = 0, int Minute = 0,
                                        int Second = 0, int MilliSecond = 0);

// Whole milliseconds between two values, always 0 or positive (MilliSecondsBetween).
qint64 MilliSecondsBetween(TDateTime A, TDateTime B);

// The last-write time of a file (FileAge); nullopt when it does not exist or cannot be read.
std::optional<TDateTime> FileLastWriteDateTime(const QString& FileName);

// Delphi's FormatDateTime for the letters used here, case-insensitive: yyyy yy, m mm (the month; the
// minutes when the previous letter was h or hh), d dd, h hh, n nn, s ss, z zzz; text in '...' or
// "..." is copied without its quotes, any other character as it is. The time separator ":" and the date separator "/" are written as they are
// (a Windows locale could replace them). Example: "dd.mm.yyyy hh:mm:ss.zzz".
QString FormatDateTime(QStringView Format, TDateTime Value);

}  // namespace Platform
