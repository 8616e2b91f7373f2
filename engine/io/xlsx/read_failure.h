#pragma once

#include <exception>
#include <string>

namespace plyfold::engine::xlsx_read {

// What went wrong while reading a part, before the reader adds which file, part and sheet.
enum class FailureKind {
    Damaged,     // the archive or the XML of a part is broken
    Invalid,     // well-formed, but the content breaks the file format's rules
    TooLarge,    // beyond the limits of a sheet, or beyond what is safe to inflate
    Encrypted,   // protected by a password
    NotPackage,  // not an Office Open XML package at all
    Unreadable   // the file cannot be opened
};

class ReadFailure : public std::exception {
public:
    ReadFailure(FailureKind kind, std::string message)
        : m_kind(kind), m_message(std::move(message)) {}

    FailureKind kind() const { return m_kind; }
    const std::string& message() const { return m_message; }
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    FailureKind m_kind;
    std::string m_message;
};

[[noreturn]] inline void fail(FailureKind kind, std::string message) {
    throw ReadFailure(kind, std::move(message));
}

}  // namespace plyfold::engine::xlsx_read
