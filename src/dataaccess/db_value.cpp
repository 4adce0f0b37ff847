#include "dataaccess/db_value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dataaccess/db_error.h"
#include "dataaccess/db_sql.h"

using namespace std::chrono;

namespace {

const char* kindName(DbVariant::Kind k)
{
    switch (k) {
    case DbVariant::Null: return "Null";
    case DbVariant::Integer: return "Integer";
    case DbVariant::Float: return "Float";
    case DbVariant::Boolean: return "Boolean";
    case DbVariant::Text: return "String";
    case DbVariant::Date: return "Date";
    }
    return "?";
}

[[noreturn]] void cannotConvert(DbVariant::Kind from, const char* to)
{
    throw EDatabaseError(std::string("Could not convert variant of type (") + kindName(from) + ") into type (" +
                         to + ")");
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::optional<int64_t> parseInt(std::string_view s)
{
    s = trim(s);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size())
        return std::nullopt;
    return v;
}

std::optional<double> parseDouble(std::string_view s)
{
    s = trim(s);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size())
        return std::nullopt;
    return v;
}

std::string two(int v)
{
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

struct Parts {
    int y, mo, d, h, mi, s;
};

Parts split(DateTime t)
{
    auto day = floor<days>(t);
    year_month_day ymd{sys_days(day.time_since_epoch())};
    auto secs = (t - day).count();
    return {int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), int(secs / 3600),
            int(secs / 60 % 60), int(secs % 60)};
}

} // namespace

std::string DbVariant::toString() const
{
    switch (kind()) {
    case Null: return {};
    case Integer: return std::to_string(std::get<int64_t>(v_));
    case Float: {
        char b[64];
        auto [p, ec] = std::to_chars(b, b + sizeof b, std::get<double>(v_));
        return ec == std::errc() ? std::string(b, p) : std::string();
    }
    case Boolean: return std::get<bool>(v_) ? "True" : "False";
    case Text: return std::get<std::string>(v_);
    case Date: return db::storageText(std::get<DateTime>(v_), ftDateTime);
    }
    return {};
}

int64_t DbVariant::toInt() const
{
    switch (kind()) {
    case Null: return 0;
    case Integer: return std::get<int64_t>(v_);
    case Float: {
        double d = std::get<double>(v_);
        if (!std::isfinite(d) || std::fabs(d) > 9.2e18)
            cannotConvert(Float, "Integer");
        return std::llround(d);
    }
    case Boolean: return std::get<bool>(v_) ? 1 : 0;
    case Text: {
        const auto& s = std::get<std::string>(v_);
        if (auto v = parseInt(s))
            return *v;
        throw EDatabaseError("'" + s + "' is not a valid integer value");
    }
    case Date: cannotConvert(Date, "Integer");
    }
    return 0;
}

double DbVariant::toDouble() const
{
    switch (kind()) {
    case Null: return 0;
    case Integer: return double(std::get<int64_t>(v_));
    case Float: return std::get<double>(v_);
    case Boolean: return std::get<bool>(v_) ? 1 : 0;
    case Text: {
        const auto& s = std::get<std::string>(v_);
        if (auto v = parseDouble(s))
            return *v;
        throw EDatabaseError("'" + s + "' is not a valid floating point value");
    }
    case Date: cannotConvert(Date, "Float");
    }
    return 0;
}

bool DbVariant::toBool() const
{
    switch (kind()) {
    case Null: return false;
    case Integer: return std::get<int64_t>(v_) != 0;
    case Float: return std::get<double>(v_) != 0;
    case Boolean: return std::get<bool>(v_);
    case Text: {
        std::string_view s = trim(std::get<std::string>(v_));
        if (db::iequals(s, "true") || db::iequals(s, "yes"))
            return true;
        if (db::iequals(s, "false") || db::iequals(s, "no"))
            return false;
        if (auto v = parseInt(s))
            return *v != 0;
        throw EDatabaseError("'" + std::get<std::string>(v_) + "' is not a valid boolean value");
    }
    case Date: cannotConvert(Date, "Boolean");
    }
    return false;
}

DateTime DbVariant::toDateTime() const
{
    switch (kind()) {
    case Null: return DateTime{};
    case Date: return std::get<DateTime>(v_);
    case Text: {
        const auto& s = std::get<std::string>(v_);
        if (auto t = db::parseDateTime(s))
            return *t;
        throw EDatabaseError("'" + s + "' is not a valid date and time");
    }
    default: cannotConvert(kind(), "Date");
    }
}

namespace db {

DateTime makeDateTime(int year, int month, int day, int hour, int minute, int second)
{
    year_month_day ymd{std::chrono::year(year), std::chrono::month(unsigned(month)), std::chrono::day(unsigned(day))};
    return DateTime(sys_days(ymd).time_since_epoch()) + hours(hour) + minutes(minute) + seconds(second);
}

DateTime makeTime(int hour, int minute, int second) { return makeDateTime(1899, 12, 30, hour, minute, second); }

bool isTimeOnly(DateTime t) { return floor<days>(t) == makeDateTime(1899, 12, 30); }

std::string storageText(DateTime t, TFieldType type)
{
    if (type == ftTime || isTimeOnly(t))
        return timeText(t);
    if (type == ftDate)
        return dateText(t);
    return dateTimeText(t);
}

DateTime dateOf(DateTime t) { return floor<days>(t); }

std::chrono::seconds timeOf(DateTime t) { return t - floor<days>(t); }

std::string dateTimeText(DateTime t)
{
    Parts p = split(t);
    char b[40];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", p.y, p.mo, p.d, p.h, p.mi, p.s);
    return b;
}

std::string dateText(DateTime t)
{
    Parts p = split(t);
    char b[40];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d 00:00:00", p.y, p.mo, p.d);
    return b;
}

std::string timeText(DateTime t)
{
    Parts p = split(t);
    return two(p.h) + ":" + two(p.mi) + ":" + two(p.s);
}

namespace {
// Reads exactly n digits at s[i].
bool digits(std::string_view s, size_t& i, size_t n, int& out)
{
    if (i + n > s.size())
        return false;
    int v = 0;
    for (size_t k = 0; k < n; ++k) {
        char c = s[i + k];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    i += n;
    out = v;
    return true;
}

// "HH:MM[:SS[.fff]]" from s[i] to the end.
bool timePart(std::string_view s, size_t i, int& h, int& mi, int& sec)
{
    sec = 0;
    if (!digits(s, i, 2, h) || i >= s.size() || s[i++] != ':' || !digits(s, i, 2, mi))
        return false;
    if (i < s.size()) {
        if (s[i++] != ':' || !digits(s, i, 2, sec))
            return false;
        if (i < s.size()) {
            if (s[i++] != '.' || i >= s.size())
                return false;
            for (; i < s.size(); ++i)
                if (s[i] < '0' || s[i] > '9')
                    return false;
        }
    }
    return h < 24 && mi < 60 && sec < 60;
}
} // namespace

std::optional<DateTime> parseDateTime(std::string_view text)
{
    std::string_view s = trim(text);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    size_t i = 0;
    if (s.size() >= 5 && s[2] == ':') {
        if (!timePart(s, 0, h, mi, sec))
            return std::nullopt;
        return makeTime(h, mi, sec);
    }
    if (!digits(s, i, 4, y) || i >= s.size() || s[i++] != '-' || !digits(s, i, 2, mo) || i >= s.size() ||
        s[i++] != '-' || !digits(s, i, 2, d))
        return std::nullopt;
    year_month_day ymd{std::chrono::year(y), std::chrono::month(unsigned(mo)), std::chrono::day(unsigned(d))};
    if (!ymd.ok())
        return std::nullopt;
    if (i < s.size()) {
        if (s[i] != ' ' && s[i] != 'T')
            return std::nullopt;
        if (!timePart(s, i + 1, h, mi, sec))
            return std::nullopt;
    }
    return makeDateTime(y, mo, d, h, mi, sec);
}

std::string formatDateTime(std::string_view f, DateTime t)
{
    static const char* const shortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const longMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                             "July",    "August",   "September", "October", "November", "December"};
    static const char* const shortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const longDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                           "Thursday", "Friday", "Saturday"};
    Parts p = split(t);
    unsigned wd = weekday(sys_days(floor<days>(t).time_since_epoch())).c_encoding();
    bool ampm = false;
    for (size_t i = 0; i + 1 < f.size(); ++i)
        if ((f[i] == 'a' || f[i] == 'A') && (f.substr(i, 5) == "am/pm" || f.substr(i, 5) == "AM/PM"))
            ampm = true;
    std::string out;
    bool lastWasHour = false;
    auto run = [&](size_t i, char c) {
        size_t n = 0;
        while (i + n < f.size() && (f[i + n] | 0x20) == c)
            ++n;
        return n;
    };
    for (size_t i = 0; i < f.size();) {
        char c = f[i];
        char lc = char(c | 0x20);
        if (c == '"' || c == '\'') {
            size_t j = f.find(c, i + 1);
            if (j == std::string_view::npos)
                j = f.size();
            out.append(f.substr(i + 1, j - i - 1));
            i = j + 1;
            continue;
        }
        if (lc == 'a' && (f.substr(i, 5) == "am/pm" || f.substr(i, 5) == "AM/PM")) {
            bool pm = p.h >= 12;
            out += c == 'a' ? (pm ? "pm" : "am") : (pm ? "PM" : "AM");
            i += 5;
            continue;
        }
        if (lc == 'y') {
            size_t n = run(i, 'y');
            out += n <= 2 ? two(p.y % 100) : std::to_string(p.y);
            i += n;
            lastWasHour = false;
            continue;
        }
        if (lc == 'm') {
            size_t n = run(i, 'm');
            if (lastWasHour && n <= 2)
                out += n == 1 ? std::to_string(p.mi) : two(p.mi);
            else if (n == 1)
                out += std::to_string(p.mo);
            else if (n == 2)
                out += two(p.mo);
            else if (n == 3)
                out += shortMonths[p.mo - 1];
            else
                out += longMonths[p.mo - 1];
            i += n;
            lastWasHour = false;
            continue;
        }
        if (lc == 'd') {
            size_t n = run(i, 'd');
            if (n == 1)
                out += std::to_string(p.d);
            else if (n == 2)
                out += two(p.d);
            else if (n == 3)
                out += shortDays[wd];
            else
                out += longDays[wd];
            i += n;
            lastWasHour = false;
            continue;
        }
        if (lc == 'h') {
            size_t n = run(i, 'h');
            int h = p.h;
            if (ampm) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            out += n == 1 ? std::to_string(h) : two(h);
            i += n;
            lastWasHour = true;
            continue;
        }
        if (lc == 'n') {
            size_t n = run(i, 'n');
            out += n == 1 ? std::to_string(p.mi) : two(p.mi);
            i += n;
            lastWasHour = false;
            continue;
        }
        if (lc == 's') {
            size_t n = run(i, 's');
            out += n == 1 ? std::to_string(p.s) : two(p.s);
            i += n;
            lastWasHour = false;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

std::string formatFloat(std::string_view format, double v)
{
    std::string_view f = format.substr(0, format.find(';'));
    size_t first = f.find_first_of("0#");
    if (first == std::string_view::npos)
        return std::string(f);
    size_t last = f.find_last_of("0#.,");
    std::string_view prefix = f.substr(0, first);
    std::string_view pattern = f.substr(first, last - first + 1);
    std::string_view suffix = f.substr(last + 1);
    size_t dot = pattern.find('.');
    std::string_view intPat = pattern.substr(0, dot);
    std::string_view fracPat = dot == std::string_view::npos ? std::string_view() : pattern.substr(dot + 1);
    bool thousands = intPat.find(',') != std::string_view::npos;
    int minInt = 0;
    for (char c : intPat)
        minInt += c == '0';
    int minFrac = 0, maxFrac = 0;
    for (char c : fracPat) {
        if (c == '0') {
            ++maxFrac;
            minFrac = maxFrac;
        } else if (c == '#')
            ++maxFrac;
    }
    if (!std::isfinite(v))
        return std::to_string(v);
    bool neg = v < 0;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", maxFrac, std::fabs(v));
    std::string s = buf;
    std::string ip = s.substr(0, s.find('.'));
    std::string fp = maxFrac > 0 ? s.substr(s.find('.') + 1) : std::string();
    while (int(fp.size()) > minFrac && fp.back() == '0')
        fp.pop_back();
    if (ip == "0" && minInt == 0)
        ip.clear();
    if (int(ip.size()) < minInt)
        ip = std::string(size_t(minInt) - ip.size(), '0') + ip;
    if (thousands && ip.size() > 3) {
        std::string g;
        for (size_t k = 0; k < ip.size(); ++k) {
            if (k > 0 && (ip.size() - k) % 3 == 0)
                g += ',';
            g += ip[k];
        }
        ip = g;
    }
    bool zero = ip.find_first_not_of("0,") == std::string::npos && fp.find_first_not_of('0') == std::string::npos;
    if (ip.empty() && fp.empty())
        ip.assign(1, '0');
    std::string out(prefix);
    if (neg && !zero)
        out += '-';
    out += ip;
    if (!fp.empty()) {
        out += '.';
        out += fp;
    }
    out += suffix;
    return out;
}

} // namespace db
