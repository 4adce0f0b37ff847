#include "dataaccess/db_sql.h"

#include "dataaccess/db_error.h"

namespace db {

namespace {

bool identStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool identChar(char c) { return identStart(c) || (c >= '0' && c <= '9'); }

// Length of the literal, quoted name or comment starting at s[i], or 0 when none starts there.
size_t skipQuoted(std::string_view s, size_t i)
{
    char c = s[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
        char close = c == '[' ? ']' : c;
        size_t j = i + 1;
        while (j < s.size()) {
            if (s[j] == close) {
                if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
                    j += 2; // doubled quote inside the literal
                    continue;
                }
                return j + 1 - i;
            }
            ++j;
        }
        return s.size() - i; // unterminated: to the end
    }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
        size_t j = s.find('\n', i);
        return (j == std::string_view::npos ? s.size() : j) - i;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
        size_t j = s.find("*/", i + 2);
        return (j == std::string_view::npos ? s.size() : j + 2) - i;
    }
    return 0;
}

} // namespace

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 32);
        if (y >= 'a' && y <= 'z')
            y = char(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

std::string upper(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    return r;
}

std::string quoteIdent(std::string_view name)
{
    std::string r = "\"";
    for (char c : name) {
        if (c == '"')
            r += '"';
        r += c;
    }
    return r + "\"";
}

ParsedSql parseSql(std::string_view s)
{
    ParsedSql out;
    out.text.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (size_t n = skipQuoted(s, i)) {
            out.text.append(s.substr(i, n));
            i += n;
            continue;
        }
        char c = s[i];
        if (c == ':' && i + 1 < s.size() && s[i + 1] == ':') {
            out.text += ':';
            i += 2;
            continue;
        }
        if (c == ':' && i + 1 < s.size() && identStart(s[i + 1])) {
            size_t j = i + 1;
            while (j < s.size() && identChar(s[j]))
                ++j;
            std::string name(s.substr(i + 1, j - i - 1));
            size_t idx = 0;
            while (idx < out.names.size() && !iequals(out.names[idx], name))
                ++idx;
            if (idx == out.names.size())
                out.names.push_back(name);
            out.text += '?';
            out.text += std::to_string(idx + 1);
            i = j;
            continue;
        }
        if (c == '?')
            throw EDatabaseError("Parameters are written as :Name; '?' is not supported");
        if (identChar(c)) { // a whole word, so that "x:y" inside a name is not split oddly
            size_t j = i;
            while (j < s.size() && identChar(s[j]))
                ++j;
            out.text.append(s.substr(i, j - i));
            i = j;
            continue;
        }
        out.text += c;
        ++i;
    }
    return out;
}

namespace {

struct Token {
    enum Kind { Word, Punct, Other } kind;
    std::string_view text;
};

std::vector<Token> tokens(std::string_view s)
{
    std::vector<Token> t;
    for (size_t i = 0; i < s.size();) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c == '-' || c == '/') {
            if (size_t n = skipQuoted(s, i)) {
                i += n;
                continue;
            }
        }
        if (c == '"' || c == '`' || c == '[') {
            size_t n = skipQuoted(s, i);
            t.push_back({Token::Word, s.substr(i, n)});
            i += n;
            continue;
        }
        if (c == '\'') {
            size_t n = skipQuoted(s, i);
            t.push_back({Token::Other, s.substr(i, n)});
            i += n;
            continue;
        }
        if (identChar(c)) {
            size_t j = i;
            while (j < s.size() && identChar(s[j]))
                ++j;
            t.push_back({Token::Word, s.substr(i, j - i)});
            i = j;
            continue;
        }
        t.push_back({Token::Punct, s.substr(i, 1)});
        ++i;
    }
    return t;
}

std::string unquote(std::string_view w)
{
    if (w.size() >= 2 && (w.front() == '"' || w.front() == '`' || w.front() == '['))
        return std::string(w.substr(1, w.size() - 2));
    return std::string(w);
}

} // namespace

std::vector<std::string> selectListNames(std::string_view sql)
{
    std::vector<Token> t = tokens(sql);
    size_t i = 0;
    while (i < t.size() && !(t[i].kind == Token::Word && iequals(t[i].text, "SELECT")))
        ++i;
    if (i == t.size())
        return {};
    ++i;
    if (i < t.size() && t[i].kind == Token::Word && (iequals(t[i].text, "DISTINCT") || iequals(t[i].text, "ALL")))
        ++i;
    std::vector<std::string> names;
    std::vector<Token> item;
    int depth = 0;
    auto finish = [&]() -> bool {
        // A plain qualified column: Word '.' Word
        if (item.size() == 3 && item[0].kind == Token::Word && item[1].text == "." && item[2].kind == Token::Word)
            names.push_back(unquote(item[0].text) + "." + unquote(item[2].text));
        else {
            // "*" or "A.*" stand for several columns: the items no longer line up.
            if ((item.size() == 1 && item[0].text == "*") || (item.size() == 3 && item[2].text == "*"))
                return false;
            names.emplace_back();
        }
        item.clear();
        return true;
    };
    for (; i < t.size(); ++i) {
        const Token& k = t[i];
        if (k.kind == Token::Punct && k.text == "(")
            ++depth;
        else if (k.kind == Token::Punct && k.text == ")")
            --depth;
        if (depth == 0 && k.kind == Token::Word && iequals(k.text, "FROM"))
            break;
        if (depth == 0 && k.kind == Token::Punct && k.text == ",") {
            if (!finish())
                return {};
            continue;
        }
        item.push_back(k);
    }
    if (!item.empty() && !finish())
        return {};
    return names;
}

bool onlyTrivia(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';') {
            ++i;
            continue;
        }
        if ((c == '-' || c == '/') && skipQuoted(s, i)) {
            i += skipQuoted(s, i);
            continue;
        }
        return false;
    }
    return true;
}

} // namespace db
