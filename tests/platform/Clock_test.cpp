#include "TestSupport.h"
#include "platform/Clock.h"

#include <QFile>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <cmath>

using namespace Platform;

TEST(Clock, DateTimeValuesCountDaysFromTheEndOf1899) {
    struct Row { const char* Name; QDateTime Local; TDateTime Expected; };
    const Row rows[] = {
        {"base date", QDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0.0},
        {"first of January 1900, noon", QDateTime(QDate(1900, 1, 1), QTime(12, 0)), 2.5},
        {"a known day", QDateTime(QDate(2026, 12, 9), QTime(14, 39, 51, 250)),
         46365.0 + (14 * 3600 + 39 * 60 + 51.25) / 86400.0},
        {"before the base: days back, time forward", QDateTime(QDate(1899, 12, 29), QTime(6, 0)), -1.25},
        {"leap day", QDateTime(QDate(2024, 2, 29), QTime(0, 0)), 45351.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_NEAR(DateTimeFromQDateTime(row.Local), row.Expected, 1e-9);
        EXPECT_EQ(QDateTimeFromDateTime(row.Expected), row.Local);
        const QDate date = row.Local.date();
        const QTime time = row.Local.time();
        const auto encoded =
            EncodeDateTime(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec());
        ASSERT_TRUE(encoded.has_value());
        EXPECT_NEAR(*encoded, row.Expected, 1e-9);
    }
    EXPECT_FALSE(EncodeDateTime(2026, 2, 30).has_value());
    EXPECT_FALSE(EncodeDateTime(2026, 1, 1, 24).has_value());
    EXPECT_FALSE(QDateTimeFromDateTime(std::nan("")).isValid());
}

TEST(Clock, OtherZonesAreSeenInLocalTime) {
    const QDateTime utc(QDate(2026, 6, 1), QTime(8, 30), QTimeZone::utc());
    EXPECT_EQ(QDateTimeFromDateTime(DateTimeFromQDateTime(utc)), utc.toLocalTime());
}

TEST(Clock, RoundsToTheNearestMillisecond) {
    const TDateTime value = *EncodeDateTime(2026, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(QDateTimeFromDateTime(value + 0.4 / MSecsPerDay).time(), QTime(23, 59, 59, 999));
    // Rounding up at the last millisecond of a day must give the next day's midnight, not 24:00.
    EXPECT_EQ(QDateTimeFromDateTime(value + 0.6 / MSecsPerDay), QDateTime(QDate(2027, 1, 1), QTime(0, 0)));
}

TEST(Clock, MilliSecondsBetweenCountsWholeMillisecondsEitherWay) {
    struct Row { const char* Name; TDateTime A, B; qint64 Expected; };
    const TDateTime morning = *EncodeDateTime(2026, 12, 9, 10, 0, 0, 100);
    const Row rows[] = {
        // 0.3 - 0.1 of a second as doubles lies a hair below 200 ms; it must still count 200.
        {"sub-second difference", *EncodeDateTime(2026, 12, 9, 10, 0, 0, 300), morning, 200},
        {"order does not matter", morning, *EncodeDateTime(2026, 12, 9, 10, 0, 0, 300), 200},
        {"across midnight", *EncodeDateTime(2026, 12, 10, 0, 0, 1), *EncodeDateTime(2026, 12, 9, 23, 59, 59), 2000},
        {"more than a day", morning + 1.5, morning, 129600000},
        {"same", morning, morning, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(MilliSecondsBetween(row.A, row.B), row.Expected);
    }
}

TEST(Clock, FormatsWithDelphiLetters) {
    const TDateTime value = *EncodeDateTime(2026, 3, 7, 9, 5, 4, 42);
    struct Row { const char* Name; const char16_t* Format; QString Expected; };
    const Row rows[] = {
        {"log entry", u"dd.mm.yyyy hh:mm:ss.zzz", "07.03.2026 09:05:04.042"},
        {"ISO-like with nn", u"yyyy-mm-dd hh:nn:ss", "2026-03-07 09:05:04"},
        {"log file name part", u"_yyyymmdd_hhnnss", "_20260307_090504"},
        {"short letters", u"d.m.yy h:n:s.z", "7.3.26 9:5:4.42"},
        {"upper case letters", u"DD.MM.YYYY HH:NN", "07.03.2026 09:05"},
        // "mm" right after "hh" (a separator between) means minutes, anywhere else the month.
        {"mm after hh is minutes, then month again", u"hh:mm dd.mm", "09:05 07.03"},
        {"quoted text is copied", u"'Stand:' dd.mm. \"hh\"", "Stand: 07.03. hh"},
        {"other characters stay", u"[yyyy] #", "[2026] #"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(FormatDateTime(QStringView(row.Format), value), row.Expected);
    }
}

TEST(Clock, NowAndFileTimesAreLocalDateTimeValues) {
    TTempEnvironment environment;
    const TDateTime before = NowDateTime();
    const QString path = environment.FilePath("stamp.txt");
    WriteBytes(path, "x");
    QFile file(path);
    const QDateTime written(QDate(2025, 11, 3), QTime(17, 45, 12));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(written, QFileDevice::FileModificationTime));
    file.close();
    const auto fileTime = FileLastWriteDateTime(path);
    ASSERT_TRUE(fileTime.has_value());
    EXPECT_EQ(QDateTimeFromDateTime(*fileTime), written);
    EXPECT_FALSE(FileLastWriteDateTime(environment.FilePath("missing")).has_value());

    // Now lies between two readings of the system clock taken around it.
    const QDateTime low = QDateTime::currentDateTime();
    const TDateTime now = NowDateTime();
    const QDateTime high = QDateTime::currentDateTime();
    EXPECT_GE(QDateTimeFromDateTime(now), low);
    EXPECT_LE(QDateTimeFromDateTime(now), high);
    EXPECT_GE(now, before);
}
