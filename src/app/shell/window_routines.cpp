#include "app/shell/window_routines.h"

#include "app/shell/login_form.h"
#include "keyaccess/dialog_layer.h"

#include <QGuiApplication>
#include <QLocale>
#include <cctype>
#include <optional>
#include <vector>

bool MyConfirmation(const std::string& text)
{
    return appDialogs().show(BoxType::Confirmation, text, BoxButtons::OkCancel) == BoxResult::Ok;
}

void MyError(const std::string& text) { appDialogs().error(text); }

namespace shell {

QString dateTimeText(DateTime t)
{
    const auto days = std::chrono::floor<std::chrono::days>(t);
    const std::chrono::year_month_day ymd { std::chrono::sys_days(days.time_since_epoch()) };
    const std::chrono::hh_mm_ss hms { t - days };
    const QDate date(int(ymd.year()), unsigned(ymd.month()), unsigned(ymd.day()));
    const QTime time(int(hms.hours().count()), int(hms.minutes().count()), int(hms.seconds().count()));
    if (time == QTime(0, 0))
        return dateText(date);
    return dateText(date) + QLatin1Char(' ') + timeText(time);
}

QString dateText(QDate date) { return QLocale().toString(date, QLocale::ShortFormat); }

QString timeText(QTime time)
{
    // The locale's long time format names a time zone: key and database times carry none.
    const QString format = QLocale().timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        kept += c;
    }
    return QLocale().toString(time, kept.simplified());
}

namespace {

bool wordAt(const std::string& s, size_t i, const char* word)
{
    size_t n = std::char_traits<char>::length(word);
    if (i + n > s.size())
        return false;
    for (size_t k = 0; k < n; ++k)
        if (std::toupper(static_cast<unsigned char>(s[i + k])) != word[k])
            return false;
    auto isIdent = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    if (i > 0 && isIdent(s[i - 1]))
        return false;
    if (i + n < s.size() && isIdent(s[i + n]))
        return false;
    return true;
}

// Positions of top-level ORDER and LIMIT keywords, outside literals, comments and brackets.
struct Clauses {
    std::optional<size_t> orderBy;
    std::optional<size_t> limit;
};

Clauses findClauses(const std::string& s)
{
    Clauses c;
    int depth = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char ch = s[i];
        if (ch == '\'' || ch == '"' || ch == '`' || ch == '[') {
            char close = ch == '[' ? ']' : ch;
            for (++i; i < s.size(); ++i) {
                if (s[i] == close) {
                    if (close != ']' && i + 1 < s.size() && s[i + 1] == close)
                        ++i; // doubled quote
                    else
                        break;
                }
            }
        } else if (ch == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n')
                ++i;
        } else if (ch == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            size_t end = s.find("*/", i + 2);
            i = end == std::string::npos ? s.size() : end + 1;
        } else if (ch == '(') {
            ++depth;
        } else if (ch == ')') {
            --depth;
        } else if (depth == 0 && wordAt(s, i, "ORDER")) {
            size_t j = i + 5;
            while (j < s.size() && std::isspace(static_cast<unsigned char>(s[j])))
                ++j;
            if (wordAt(s, j, "BY")) {
                c.orderBy = i;
                c.limit.reset();
            }
        } else if (depth == 0 && wordAt(s, i, "LIMIT")) {
            c.limit = i;
        }
    }
    return c;
}

std::string quoteColumn(const std::string& column)
{
    // "A.LockID" stays qualified; each part is quoted so no column name can end the clause.
    std::string out;
    size_t start = 0;
    while (true) {
        size_t dot = column.find('.', start);
        std::string part = column.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        out += '"';
        for (char ch : part) {
            if (ch == '"')
                out += '"';
            out += ch;
        }
        out += '"';
        if (dot == std::string::npos)
            break;
        out += '.';
        start = dot + 1;
    }
    return out;
}

// Upper case, quotes dropped, runs of blanks as one: "order by  \"LockName\"" == "ORDER BY LockName".
std::string normalised(const std::string& s)
{
    std::string out;
    for (char ch : s) {
        if (ch == '"' || ch == '[' || ch == ']' || ch == '`')
            continue;
        if (std::isspace(static_cast<unsigned char>(ch))) {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
            continue;
        }
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string trimRight(std::string s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    return s;
}

} // namespace

SortedText sortedStatement(const std::string& sql, const std::string& column)
{
    const Clauses c = findClauses(sql);
    const std::string quoted = quoteColumn(column);
    std::string head = sql;
    std::string tail;
    bool descending = false;
    if (c.limit && (!c.orderBy || *c.limit > *c.orderBy)) {
        tail = sql.substr(*c.limit);
        head = sql.substr(0, *c.limit);
    }
    if (c.orderBy) {
        const std::string current = trimRight(head.substr(*c.orderBy));
        head = head.substr(0, *c.orderBy);
        // The same column again, ascending so far: now descending.
        descending = normalised(current) == normalised("ORDER BY " + column)
            || normalised(current) == normalised("ORDER BY " + column + " ASC");
    }
    std::string text = trimRight(head) + "\nORDER BY " + quoted + (descending ? " DESC" : "");
    if (!tail.empty())
        text += "\n" + trimRight(tail);
    return { text, descending };
}

} // namespace shell

void SortQuery(TCustomDbDataSet& query, const std::string& column)
{
    std::vector<TDbParam> saved;
    for (int i = 0; i < query.ParamCount(); ++i)
        saved.push_back(query.Params()[i]);
    std::string text = query.SQL.Text();
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        if (auto* table = dynamic_cast<TDbTable*>(&query))
            text = "SELECT * FROM \"" + table->TableName() + "\"";
    const shell::SortedText sorted = shell::sortedStatement(text, column);
    query.Close();
    query.SQL = sorted.text;
    for (const TDbParam& p : saved)
        if (TDbParam* now = query.Params().FindParam(p.Name()))
            now->Assign(p);
    query.Open();
}

namespace {
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
} // namespace

void UpdateMasterData(TCustomDbDataSet& query)
{
    WaitCursor hourglass;
    TDbConnection* db = query.Connection();
    if (!db && Login_Form)
        db = &Login_Form->DbConnection1;
    if (!db)
        throw EDatabaseError("No database connection");
    db->StartTransaction();
    try {
        query.ApplyUpdates();
        db->Commit();
    } catch (...) {
        query.RestoreUpdates();
        db->Rollback();
        throw;
    }
    query.CommitUpdates();
}

void OnUpdateErrorFail(TMemoryDataSet&, EDatabaseError&, TUpdateKind, TUpdateAction& action) { action = uaFail; }
