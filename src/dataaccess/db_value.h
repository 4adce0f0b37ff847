#pragma once
// The nullable value that fields and parameters hold, and the text forms date-times take
// in the database: 'YYYY-MM-DD HH:MM:SS' for date-times, dates at midnight, 'HH:MM:SS' for
// times. A time of day without a date is held on 1899-12-30 (db::makeTime), a day no stored
// date falls on, so that it is written back as 'HH:MM:SS'.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

// Date-times are naive local times in whole seconds (the same alias as the key formats use).
using DateTime = std::chrono::local_seconds;

enum TFieldType { ftUnknown, ftString, ftInteger, ftFloat, ftBoolean, ftDate, ftTime, ftDateTime, ftBlob };

class DbVariant {
public:
    enum Kind { Null, Integer, Float, Boolean, Text, Date };

    DbVariant() = default;
    DbVariant(std::nullptr_t) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    DbVariant(T v) : v_(static_cast<int64_t>(v))
    {
    }
    DbVariant(double v) : v_(v) {}
    DbVariant(bool v) : v_(v) {}
    DbVariant(const char* v) : v_(std::string(v ? v : "")) {}
    DbVariant(std::string v) : v_(std::move(v)) {}
    DbVariant(std::string_view v) : v_(std::string(v)) {}
    DbVariant(DateTime v) : v_(v) {}

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isNull() const { return v_.index() == 0; }

    // Conversions as the field accessors do them. Null gives "", 0, false, or 1970-01-01;
    // a date-time gives its storage text ('HH:MM:SS' for a time of day);
    // a text that is not a number, Boolean or date-time raises EDatabaseError.
    std::string toString() const;
    int64_t toInt() const;
    double toDouble() const;
    bool toBool() const;
    DateTime toDateTime() const;

    // Same kind and value; two nulls are equal.
    bool operator==(const DbVariant& o) const { return v_ == o.v_; }
    bool operator!=(const DbVariant& o) const { return !(v_ == o.v_); }

    const std::variant<std::monostate, int64_t, double, bool, std::string, DateTime>& raw() const { return v_; }

private:
    std::variant<std::monostate, int64_t, double, bool, std::string, DateTime> v_;
};

namespace db {

DateTime makeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
DateTime makeTime(int hour, int minute, int second = 0); // on 1899-12-30
bool isTimeOnly(DateTime t);                             // its day is 1899-12-30
DateTime dateOf(DateTime t);             // midnight of the same day
std::chrono::seconds timeOf(DateTime t); // seconds since midnight

// Storage texts.
std::string dateTimeText(DateTime t); // "YYYY-MM-DD HH:MM:SS"
std::string dateText(DateTime t);     // "YYYY-MM-DD 00:00:00" (dates are stored at midnight)
std::string timeText(DateTime t);     // "HH:MM:SS"
// The text a value of that field type is stored as (a time of day always as "HH:MM:SS").
std::string storageText(DateTime t, TFieldType type);

// Accepts "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" (a 'T' may stand for the blank), "HH:MM[:SS]";
// nullopt for anything else or a date or time that does not exist.
std::optional<DateTime> parseDateTime(std::string_view text);

// Formats a date-time with the tokens yyyy yy mm m dd d hh h nn n ss s and AM/PM / am/pm;
// text in double or single quotes is copied; "mm" after "hh"/"h" is minutes.
std::string formatDateTime(std::string_view format, DateTime t);

// Formats a number with a pattern of '0' (digit always shown), '#' (digit when needed), '.'
// and ',' (thousands), e.g. "####.#" or "0.00".
std::string formatFloat(std::string_view format, double v);

} // namespace db
