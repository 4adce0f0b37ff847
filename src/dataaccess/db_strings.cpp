#include "dataaccess/db_strings.h"

void TDbStrings::changed()
{
    ++version_;
    if (OnChange)
        OnChange();
}

void TDbStrings::Clear()
{
    lines_.clear();
    changed();
}

void TDbStrings::Add(std::string line)
{
    lines_.push_back(std::move(line));
    changed();
}

std::string TDbStrings::Text() const
{
    std::string s;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (i)
            s += '\n';
        s += lines_[i];
    }
    return s;
}

void TDbStrings::SetText(const std::string& text)
{
    lines_.clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (nl == std::string::npos) {
            if (!line.empty())
                lines_.push_back(line);
            break;
        }
        lines_.push_back(line);
        start = nl + 1;
    }
    changed();
}

TDbStrings& TDbStrings::operator=(const std::string& text)
{
    SetText(text);
    return *this;
}

TDbStrings& TDbStrings::operator=(const char* text)
{
    SetText(text ? std::string(text) : std::string());
    return *this;
}

TDbStrings& TDbStrings::operator=(std::initializer_list<std::string> lines)
{
    lines_.assign(lines.begin(), lines.end());
    changed();
    return *this;
}

void TDbStrings::Assign(const TDbStrings& other)
{
    if (&other == this)
        return;
    lines_ = other.lines_;
    changed();
}
