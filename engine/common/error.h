#pragma once

#include <exception>
#include <string>

namespace plyfold {

// Error numbers, chosen to match what users of spreadsheet automation know.
enum class ErrorNumber : int {
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    ObjectNotSet = 91,
    FileNotFound = 53,
    FileAccess = 75,
    CannotCreateObject = 429,
    ApplicationDefined = 1004,
};

// The one error type of the engine and the automation layer: a positive number and a
// description a user can read, naming the file or sheet and what is wrong.
class SpreadsheetError : public std::exception {
public:
    SpreadsheetError(ErrorNumber number, std::string description)
        : m_number(static_cast<int>(number)), m_description(std::move(description)) {}

    int number() const { return m_number; }
    const std::string& description() const { return m_description; }
    const char* what() const noexcept override { return m_description.c_str(); }

private:
    int m_number;
    std::string m_description;
};

}  // namespace plyfold
