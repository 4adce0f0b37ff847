#pragma once
// A list of text lines: the SQL property of the datasets and the statements of the
// update-SQL component. Lines are joined with '\n', so a "--" comment ends with its line.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TDbStrings {
public:
    TDbStrings() = default;
    TDbStrings(const TDbStrings&) = delete;
    TDbStrings& operator=(const TDbStrings&) = delete;

    void Clear();
    void Add(std::string line);
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int i) const { return lines_.at(static_cast<size_t>(i)); }
    const std::vector<std::string>& Lines() const { return lines_; }

    // All lines joined with '\n'. SetText splits on '\n' (a '\r' before it is dropped).
    std::string Text() const;
    void SetText(const std::string& text);
    // Replaces the whole list: q.SQL = "SELECT ..."; or q.SQL = {"SELECT *", "FROM T"};
    TDbStrings& operator=(const std::string& text);
    TDbStrings& operator=(const char* text);
    TDbStrings& operator=(std::initializer_list<std::string> lines);
    void Assign(const TDbStrings& other);

    // Bumped by every change; the owner reads it to see that its statement is stale.
    uint64_t Version() const { return version_; }
    // Called after every change (the owning dataset closes itself then).
    std::function<void()> OnChange;

private:
    void changed();
    std::vector<std::string> lines_;
    uint64_t version_ = 0;
};
