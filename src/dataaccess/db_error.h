#pragma once
// The data-access error class: every failure of SQLite and every misuse of a component
// (unknown field or parameter, wrong dataset state) reaches the caller as this exception.
#include <stdexcept>
#include <string>

class EDatabaseError : public std::runtime_error {
public:
    // errorCode/extendedCode: SQLite's result codes; 0 for errors the components raise.
    explicit EDatabaseError(const std::string& message, int errorCode = 0, int extendedCode = 0,
                            std::string sql = {}, bool aborted = false)
        : std::runtime_error(message), code_(errorCode), extended_(extendedCode), sql_(std::move(sql)),
          aborted_(aborted)
    {
    }
    std::string Message() const { return what(); }
    int ErrorCode() const { return code_; }
    int ExtendedErrorCode() const { return extended_; }
    // The statement that failed, when a statement failed.
    const std::string& Sql() const { return sql_; }
    // True when an OnUpdateError handler chose to abort the apply.
    bool Aborted() const { return aborted_; }

private:
    int code_;
    int extended_;
    std::string sql_;
    bool aborted_;
};
