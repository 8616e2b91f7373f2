#include "engine/ops/number_format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <unordered_map>

#include "engine/common/text.h"
#include "engine/model/cell.h"
#include "engine/model/workbook.h"
#include "engine/ops/date_serial.h"

namespace plyfold::engine {
namespace {

// What a spreadsheet shows for a date or time it cannot show: the cell fills with hashes.
constexpr std::string_view kUnshowable = "########";

constexpr std::array<std::string_view, 50> kBuiltinFormats = {
    "General",
    "0",
    "0.00",
    "#,##0",
    "#,##0.00",
    "$#,##0_);($#,##0)",
    "$#,##0_);[Red]($#,##0)",
    "$#,##0.00_);($#,##0.00)",
    "$#,##0.00_);[Red]($#,##0.00)",
    "0%",
    "0.00%",
    "0.00E+00",
    "# ?/?",
    "# ?\?/?\?",
    "m/d/yyyy",
    "d-mmm-yy",
    "d-mmm",
    "mmm-yy",
    "h:mm AM/PM",
    "h:mm:ss AM/PM",
    "h:mm",
    "h:mm:ss",
    "m/d/yyyy h:mm",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",  // 23-36: East Asian locales
    "#,##0_);(#,##0)",
    "#,##0_);[Red](#,##0)",
    "#,##0.00_);(#,##0.00)",
    "#,##0.00_);[Red](#,##0.00)",
    "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)",
    "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)",
    "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)",
    "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)",
    "mm:ss",
    "[h]:mm:ss",
    "mmss.0",
    "##0.0E+0",
    "@",
};

constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<std::string_view, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The bytes of the character at s[i]: its lead byte and the continuation bytes that follow,
// as many as the lead asks for. A byte that is not UTF-8 is one character, so it never takes
// the format characters after it along.
size_t characterLength(std::string_view s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t wanted = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    size_t length = 1;
    while (length < wanted && i + length < s.size() &&
           (static_cast<unsigned char>(s[i + length]) & 0xC0) == 0x80) {
        ++length;
    }
    return length;
}

// ---------------------------------------------------------------------------------------------
// Decimal digits of a number, rounded the way a spreadsheet rounds: to 15 significant digits
// first, then half away from zero at the shown precision (so 1.005 shows as 1.01).

struct Decimal {
    std::string digits;  // significant digits, no leading or trailing zeros; empty for zero
    int point = 0;       // how many digits stand before the decimal point (may be <= 0)
};

Decimal toDecimal(double value) {
    Decimal d;
    if (!(value > 0)) {
        return d;
    }
    char buffer[40];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    const size_t e = text.find('e');
    for (char c : text.substr(0, e)) {
        if (c != '.') {
            d.digits.push_back(c);
        }
    }
    std::string_view exponentText = text.substr(e + 1);
    const bool negative = exponentText.front() == '-';
    exponentText.remove_prefix(1);
    int exponent = 0;
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    d.point = (negative ? -exponent : exponent) + 1;
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    return d;
}

void roundTo(Decimal& d, int fractionDigits) {
    const long keep = static_cast<long>(d.point) + fractionDigits;
    if (keep >= static_cast<long>(d.digits.size())) {
        return;
    }
    if (keep < 0) {
        d = Decimal{};
        return;
    }
    const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (up) {
        while (!d.digits.empty() && d.digits.back() == '9') {
            d.digits.pop_back();
        }
        if (d.digits.empty()) {
            d.digits = "1";
            d.point += 1;
        } else {
            d.digits.back() = static_cast<char>(d.digits.back() + 1);
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    if (d.digits.empty()) {
        d.point = 0;
    }
}

std::string integerDigits(const Decimal& d) {
    if (d.point <= 0 || d.digits.empty()) {
        return {};
    }
    const size_t count = static_cast<size_t>(d.point);
    std::string s = d.digits.substr(0, std::min(count, d.digits.size()));
    s.append(count - s.size(), '0');
    return s;
}

// The digit at position index counted from the first significant digit.
char digitAt(const Decimal& d, long index) {
    return index < 0 || index >= static_cast<long>(d.digits.size())
               ? '0'
               : d.digits[static_cast<size_t>(index)];
}

std::string fractionDigits(const Decimal& d, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        s.push_back(digitAt(d, static_cast<long>(d.point) + i));
    }
    return s;
}

void appendPlainDecimal(std::string& out, const Decimal& d) {
    if (d.digits.empty()) {
        out += '0';
        return;
    }
    if (d.point <= 0) {
        out += "0.";
        out.append(static_cast<size_t>(-d.point), '0');
        out += d.digits;
        return;
    }
    const auto point = static_cast<size_t>(d.point);
    if (d.digits.size() <= point) {
        out += d.digits;
        out.append(point - d.digits.size(), '0');
        return;
    }
    out.append(d.digits, 0, point);
    out += '.';
    out.append(d.digits, point);
}

// General: at most 11 characters (the sign aside), as a standard-width column shows numbers.
std::string generalText(double value) {
    if (!std::isfinite(value)) {
        return "#NUM!";
    }
    std::string out;
    if (value < 0) {
        out += '-';
        value = -value;
    }
    Decimal d = toDecimal(value);
    if (d.digits.empty()) {
        return "0";
    }
    int exponent = d.point - 1;
    if (exponent >= -4 && exponent <= 10) {
        // Eleven characters: the integer digits, the point and the decimals; "0." for a
        // number below one.
        Decimal fixed = d;
        roundTo(fixed, exponent >= 0 ? std::max(0, 9 - exponent) : 9);
        if (fixed.point - 1 <= 10) {
            appendPlainDecimal(out, fixed);
            return out;
        }
    }
    Decimal mantissa = d;
    mantissa.point = 1;
    roundTo(mantissa, std::abs(exponent) >= 100 ? 4 : 5);
    if (mantissa.point > 1) {
        ++exponent;
        mantissa.point = 1;
    }
    appendPlainDecimal(out, mantissa);
    out += exponent < 0 ? "E-" : "E+";
    const int magnitude = std::abs(exponent);
    if (magnitude < 10) {
        out += '0';
    }
    char buffer[8];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude);
    out.append(buffer, result.ptr);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Parsed sections.

enum class Kind : uint8_t {
    Literal,
    Digit,        // 0 # ?
    Point,        // .
    Comma,        // , (grouping, scaling or a literal; decided per section)
    Percent,      // %
    Exponent,     // E+ E-
    Slash,        // / of a fraction
    Denominator,  // /16: a fixed denominator
    At,           // @
    General,      // General
    Year,
    Month,
    Day,
    Hour,
    Minute,
    Second,
    SubSecond,  // .0 .00 .000 after seconds
    AmPm,       // AM/PM, A/P
    ElapsedHours,
    ElapsedMinutes,
    ElapsedSeconds,
};

struct Token {
    Kind kind = Kind::Literal;
    char ch = 0;    // the placeholder of a digit, the sign of an exponent
    int count = 0;  // letters of a date part, digits of a sub-second part, a fixed denominator
    std::string text;
};

enum class SectionType : uint8_t { Number, Fraction, Scientific, DateTime, Text, General };
enum class Compare : uint8_t { None, Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };

struct Section {
    std::vector<Token> tokens;
    SectionType type = SectionType::Number;
    Compare compare = Compare::None;
    double operand = 0;
    int percent = 0;  // each % multiplies by 100
    int scale = 0;    // each scaling comma divides by 1000
    bool grouping = false;
    int subSecondDigits = 0;
    bool twelveHour = false;
    // Fraction layout: token indexes of the numerator digits [numeratorBegin, slash) and of
    // the denominator digits (slash, denominatorEnd).
    size_t numeratorBegin = 0;
    size_t slash = 0;
    size_t denominatorEnd = 0;
    int fixedDenominator = 0;
    // The digit placeholders (0 # ?) of each part of the number, left to right. For a
    // fraction the integer part is the whole number and the fraction part the numerator.
    std::string integerHolders;
    std::string fractionHolders;
    std::string exponentHolders;
    std::string denominatorHolders;

    bool test(double value) const {
        switch (compare) {
            case Compare::None:
                return true;
            case Compare::Less:
                return value < operand;
            case Compare::LessEqual:
                return value <= operand;
            case Compare::Greater:
                return value > operand;
            case Compare::GreaterEqual:
                return value >= operand;
            case Compare::Equal:
                return value == operand;
            case Compare::NotEqual:
                return value != operand;
        }
        return true;
    }
};

bool isDatePart(Kind kind) {
    switch (kind) {
        case Kind::Year:
        case Kind::Month:
        case Kind::Day:
        case Kind::Hour:
        case Kind::Minute:
        case Kind::Second:
        case Kind::SubSecond:
        case Kind::AmPm:
        case Kind::ElapsedHours:
        case Kind::ElapsedMinutes:
        case Kind::ElapsedSeconds:
            return true;
        default:
            return false;
    }
}

void addLiteral(std::vector<Token>& tokens, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (!tokens.empty() && tokens.back().kind == Kind::Literal) {
        tokens.back().text += text;
        return;
    }
    tokens.push_back(Token{Kind::Literal, 0, 0, std::string(text)});
}

void readBracket(std::string_view content, Section& section) {
    if (content.empty()) {
        return;
    }
    const char first = content.front();
    if (first == '$') {
        // [$€-407]: a currency symbol and a locale; [$-409]: a locale alone.
        const size_t dash = content.find('-');
        addLiteral(
            section.tokens,
            content.substr(1, dash == std::string_view::npos ? std::string_view::npos : dash - 1));
        return;
    }
    if (first == '<' || first == '>' || first == '=') {
        size_t opLength = 1;
        if (content.starts_with("<=")) {
            section.compare = Compare::LessEqual, opLength = 2;
        } else if (content.starts_with(">=")) {
            section.compare = Compare::GreaterEqual, opLength = 2;
        } else if (content.starts_with("<>")) {
            section.compare = Compare::NotEqual, opLength = 2;
        } else if (first == '<') {
            section.compare = Compare::Less;
        } else if (first == '>') {
            section.compare = Compare::Greater;
        } else {
            section.compare = Compare::Equal;
        }
        std::string number(content.substr(opLength));
        char* end = nullptr;
        section.operand = std::strtod(number.c_str(), &end);
        return;
    }
    const char letter = lowerAscii(first);
    if (letter == 'h' || letter == 'm' || letter == 's') {
        for (char c : content) {
            if (lowerAscii(c) != letter) {
                return;  // not an elapsed-time part
            }
        }
        const Kind kind = letter == 'h'   ? Kind::ElapsedHours
                          : letter == 'm' ? Kind::ElapsedMinutes
                                          : Kind::ElapsedSeconds;
        section.tokens.push_back(
            Token{kind, 0, static_cast<int>(content.size()), "[" + std::string(content) + "]"});
    }
    // Colours ([Red], [Color10]) and other switches change nothing in the text.
}

Section tokenizeSection(std::string_view s) {
    Section section;
    auto& tokens = section.tokens;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        const char lower = lowerAscii(c);
        if (c == '"') {
            const size_t close = s.find('"', i + 1);
            const size_t end = close == std::string_view::npos ? s.size() : close;
            addLiteral(tokens, s.substr(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == '\\' || c == '_' || c == '*') {
            // \x shows x, _x leaves the width of x blank, *x repeats x to fill the cell (which
            // a text without a cell width shows as nothing).
            const size_t length = i + 1 < s.size() ? characterLength(s, i + 1) : 0;
            if (c == '\\') {
                addLiteral(tokens, s.substr(i + 1, length));
            }
            if (c == '_') {
                addLiteral(tokens, " ");
            }
            i += 1 + length;
        } else if (c == '[') {
            const size_t close = s.find(']', i);
            const size_t end = close == std::string_view::npos ? s.size() : close;
            readBracket(s.substr(i + 1, end - i - 1), section);
            i = end + 1;
        } else if (c == '0' || c == '#' || c == '?') {
            tokens.push_back(Token{Kind::Digit, c, 0, std::string(1, c)});
            ++i;
        } else if (c == '.') {
            tokens.push_back(Token{Kind::Point, 0, 0, "."});
            ++i;
        } else if (c == ',') {
            tokens.push_back(Token{Kind::Comma, 0, 0, ","});
            ++i;
        } else if (c == '%') {
            tokens.push_back(Token{Kind::Percent, 0, 0, "%"});
            ++i;
        } else if (lower == 'e' && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) {
            tokens.push_back(Token{Kind::Exponent, s[i + 1], 0, std::string(s.substr(i, 2))});
            i += 2;
        } else if (c == '/') {
            size_t end = i + 1;
            if (end < s.size() && s[end] >= '1' && s[end] <= '9') {
                int value = 0;
                while (end < s.size() && s[end] >= '0' && s[end] <= '9' && value < 100000000) {
                    value = value * 10 + (s[end] - '0');
                    ++end;
                }
                tokens.push_back(
                    Token{Kind::Denominator, 0, value, std::string(s.substr(i, end - i))});
                i = end;
            } else {
                tokens.push_back(Token{Kind::Slash, 0, 0, "/"});
                ++i;
            }
        } else if (c == '@') {
            tokens.push_back(Token{Kind::At, 0, 0, "@"});
            ++i;
        } else if (lower == 'g' && s.size() - i >= 7 &&
                   equalsIgnoringAsciiCase(s.substr(i, 7), "General")) {
            tokens.push_back(Token{Kind::General, 0, 0, std::string(s.substr(i, 7))});
            i += 7;
        } else if (lower == 'y' || lower == 'm' || lower == 'd' || lower == 'h' || lower == 's') {
            size_t end = i;
            while (end < s.size() && lowerAscii(s[end]) == lower) {
                ++end;
            }
            const Kind kind = lower == 'y'   ? Kind::Year
                              : lower == 'm' ? Kind::Month
                              : lower == 'd' ? Kind::Day
                              : lower == 'h' ? Kind::Hour
                                             : Kind::Second;
            tokens.push_back(
                Token{kind, 0, static_cast<int>(end - i), std::string(s.substr(i, end - i))});
            i = end;
        } else if (lower == 'a' && s.size() - i >= 5 &&
                   equalsIgnoringAsciiCase(s.substr(i, 5), "AM/PM")) {
            tokens.push_back(Token{Kind::AmPm, 0, 0, std::string(s.substr(i, 5))});
            i += 5;
        } else if (lower == 'a' && s.size() - i >= 3 &&
                   equalsIgnoringAsciiCase(s.substr(i, 3), "A/P")) {
            tokens.push_back(Token{Kind::AmPm, 0, 0, std::string(s.substr(i, 3))});
            i += 3;
        } else {
            const size_t length = characterLength(s, i);
            addLiteral(tokens, s.substr(i, length));
            i += length;
        }
    }
    return section;
}

void makeLiteral(Token& token) {
    token.kind = Kind::Literal;
}

void mergeLiterals(std::vector<Token>& tokens) {
    std::vector<Token> merged;
    merged.reserve(tokens.size());
    for (Token& token : tokens) {
        if (token.kind == Kind::Literal && !merged.empty() && merged.back().kind == Kind::Literal) {
            merged.back().text += token.text;
        } else {
            merged.push_back(std::move(token));
        }
    }
    tokens.swap(merged);
}

void finishDateSection(Section& section) {
    auto& tokens = section.tokens;
    section.type = SectionType::DateTime;
    // Date and time parts in order, to tell minutes (after hours, before seconds) from months.
    std::vector<size_t> parts;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (isDatePart(tokens[i].kind)) {
            parts.push_back(i);
        }
        if (tokens[i].kind == Kind::AmPm) {
            section.twelveHour = true;
        }
    }
    for (size_t p = 0; p < parts.size(); ++p) {
        Token& token = tokens[parts[p]];
        if (token.kind != Kind::Month || token.count > 2) {
            continue;
        }
        const bool afterHour = p > 0 && (tokens[parts[p - 1]].kind == Kind::Hour ||
                                         tokens[parts[p - 1]].kind == Kind::ElapsedHours);
        const bool beforeSecond =
            p + 1 < parts.size() && (tokens[parts[p + 1]].kind == Kind::Second ||
                                     tokens[parts[p + 1]].kind == Kind::ElapsedSeconds);
        if (afterHour || beforeSecond) {
            token.kind = Kind::Minute;
        }
    }
    std::vector<Token> result;
    for (size_t i = 0; i < tokens.size(); ++i) {
        Token& token = tokens[i];
        if (token.kind == Kind::Point && i + 1 < tokens.size() &&
            tokens[i + 1].kind == Kind::Digit && tokens[i + 1].ch == '0') {
            int digits = 0;
            std::string text = ".";
            while (i + 1 < tokens.size() && tokens[i + 1].kind == Kind::Digit &&
                   tokens[i + 1].ch == '0') {
                ++digits;
                text += "0";
                ++i;
            }
            digits = std::min(digits, 3);
            section.subSecondDigits = std::max(section.subSecondDigits, digits);
            result.push_back(Token{Kind::SubSecond, 0, digits, text});
            continue;
        }
        if (!isDatePart(token.kind)) {
            makeLiteral(token);
        }
        result.push_back(std::move(token));
    }
    tokens.swap(result);
    mergeLiterals(tokens);
}

// Commas between digit placeholders group thousands; commas after the last placeholder
// divide by 1000 each; any other comma is shown as it is.
void resolveCommas(Section& section, size_t numberEnd) {
    auto& tokens = section.tokens;
    for (size_t i = 0; i < numberEnd; ++i) {
        if (tokens[i].kind != Kind::Comma) {
            continue;
        }
        bool digitBefore = false, digitAfter = false, pointBefore = false;
        for (size_t k = 0; k < i; ++k) {
            digitBefore |= tokens[k].kind == Kind::Digit;
            pointBefore |= tokens[k].kind == Kind::Point;
        }
        for (size_t k = i + 1; k < numberEnd; ++k) {
            digitAfter |= tokens[k].kind == Kind::Digit;
        }
        if (digitBefore && digitAfter) {
            if (!pointBefore) {
                section.grouping = true;
            }
            tokens[i].text.clear();
        } else if (digitBefore) {
            ++section.scale;
            tokens[i].text.clear();
        }
        makeLiteral(tokens[i]);
    }
}

// Where the numerator, the bar and the denominator of a fraction stand among the tokens;
// false when the tokens hold no fraction (digits, a bar, digits or a fixed denominator).
bool locateFraction(Section& section) {
    const auto& tokens = section.tokens;
    size_t slash = tokens.size();
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Kind::Slash || tokens[i].kind == Kind::Denominator) {
            slash = i;
            break;
        }
    }
    if (slash == tokens.size() || slash == 0 || tokens[slash - 1].kind != Kind::Digit) {
        return false;
    }
    size_t numeratorBegin = slash;
    while (numeratorBegin > 0 && tokens[numeratorBegin - 1].kind == Kind::Digit) {
        --numeratorBegin;
    }
    size_t denominatorEnd = slash + 1;
    if (tokens[slash].kind == Kind::Slash) {
        while (denominatorEnd < tokens.size() && tokens[denominatorEnd].kind == Kind::Digit) {
            ++denominatorEnd;
        }
        if (denominatorEnd == slash + 1) {
            return false;
        }
    }
    section.numeratorBegin = numeratorBegin;
    section.slash = slash;
    section.denominatorEnd = denominatorEnd;
    section.fixedDenominator = tokens[slash].kind == Kind::Denominator ? tokens[slash].count : 0;
    return true;
}

bool findFraction(Section& section) {
    if (!locateFraction(section)) {
        return false;
    }
    section.type = SectionType::Fraction;
    auto& tokens = section.tokens;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Kind kind = tokens[i].kind;
        const bool inFraction = i >= section.numeratorBegin && i < section.denominatorEnd;
        const bool wholeDigit = i < section.numeratorBegin && kind == Kind::Digit;
        if (kind == Kind::Percent) {
            ++section.percent;
        } else if (!inFraction && !wholeDigit) {
            makeLiteral(tokens[i]);
        }
    }
    // Literals side by side become one, which moves the fraction's tokens.
    mergeLiterals(tokens);
    locateFraction(section);
    return true;
}

void finishNumberSection(Section& section) {
    auto& tokens = section.tokens;
    size_t exponent = tokens.size();
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Kind::Exponent) {
            exponent = i;
            break;
        }
    }
    if (exponent == tokens.size() && findFraction(section)) {
        return;
    }
    section.type = exponent < tokens.size() ? SectionType::Scientific : SectionType::Number;
    bool seenPoint = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        Token& token = tokens[i];
        if (token.kind == Kind::Point) {
            if (seenPoint || i > exponent) {
                makeLiteral(token);
            }
            seenPoint = true;
        } else if (token.kind == Kind::Percent) {
            ++section.percent;
        } else if ((token.kind == Kind::Exponent && i != exponent) || token.kind == Kind::Slash ||
                   token.kind == Kind::Denominator || token.kind == Kind::At ||
                   token.kind == Kind::General) {
            // A second exponent, and signs a number has no use for, show as they are typed.
            makeLiteral(token);
        }
    }
    resolveCommas(section, exponent);
    for (size_t i = exponent; i < tokens.size(); ++i) {
        if (tokens[i].kind == Kind::Comma) {
            makeLiteral(tokens[i]);
        }
    }
}

void collectHolders(Section& section) {
    int part = 0;  // 0 integer, 1 fraction, 2 exponent or denominator
    for (size_t i = 0; i < section.tokens.size(); ++i) {
        const Token& token = section.tokens[i];
        if (section.type == SectionType::Fraction) {
            part = i < section.numeratorBegin ? 0 : i < section.slash ? 1 : 2;
        } else if (token.kind == Kind::Point && part == 0) {
            part = 1;
        } else if (token.kind == Kind::Exponent) {
            part = 2;
        }
        if (token.kind != Kind::Digit) {
            continue;
        }
        if (section.type == SectionType::Fraction && i >= section.denominatorEnd) {
            continue;
        }
        std::string& holders = part == 0                               ? section.integerHolders
                               : part == 1                             ? section.fractionHolders
                               : section.type == SectionType::Fraction ? section.denominatorHolders
                                                                       : section.exponentHolders;
        holders.push_back(token.ch);
    }
}

Section parseSection(std::string_view text) {
    Section section = tokenizeSection(text);
    bool hasDate = false, hasAt = false, hasGeneral = false, hasDigit = false;
    for (const Token& token : section.tokens) {
        hasDate |= isDatePart(token.kind);
        hasAt |= token.kind == Kind::At;
        hasGeneral |= token.kind == Kind::General;
        hasDigit |= token.kind == Kind::Digit;
    }
    if (hasDate) {
        finishDateSection(section);
    } else if (hasAt) {
        section.type = SectionType::Text;
        for (Token& token : section.tokens) {
            if (token.kind == Kind::Digit) {
                token.text.clear();
            }
            if (token.kind != Kind::At) {
                makeLiteral(token);
            }
        }
    } else if (hasGeneral) {
        section.type = SectionType::General;
        for (Token& token : section.tokens) {
            if (token.kind != Kind::General) {
                makeLiteral(token);
            }
        }
    } else if (hasDigit) {
        finishNumberSection(section);
    } else {
        for (Token& token : section.tokens) {
            if (token.kind == Kind::Percent) {
                ++section.percent;
            }
            makeLiteral(token);
        }
    }
    mergeLiterals(section.tokens);
    collectHolders(section);
    return section;
}

std::vector<std::string_view> splitSections(std::string_view code) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"') {
            const size_t close = code.find('"', i + 1);
            i = close == std::string_view::npos ? code.size() : close;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == '[') {
            const size_t close = code.find(']', i);
            i = close == std::string_view::npos ? code.size() : close;
        } else if (c == ';') {
            parts.push_back(code.substr(start, i - start));
            start = i + 1;
            if (parts.size() == 4) {
                return parts;
            }
        }
    }
    parts.push_back(code.substr(start));
    if (parts.size() > 4) {
        parts.resize(4);
    }
    return parts;
}

// ---------------------------------------------------------------------------------------------
// Formatting a number through one section.

// Integer digits laid out over integer placeholders, filled from the right: the leftmost
// placeholder takes every digit left over, and a placeholder without a digit shows 0 for
// "0", a blank for "?" and nothing for "#". Placeholders are written one by one, in order,
// with thousands separators counted over all the digits shown.
class IntegerLayout {
public:
    IntegerLayout(std::string_view digits, std::string_view holders, bool grouping)
        : m_digits(digits),
          m_holders(holders),
          m_offset(static_cast<long>(holders.size()) - static_cast<long>(digits.size())),
          m_grouping(grouping) {
        m_digitsLeft = digits.size();
        for (long j = 0; j < m_offset; ++j) {
            m_digitsLeft += holders[static_cast<size_t>(j)] == '0' ? 1 : 0;
        }
    }

    void next(std::string& out) {
        const long j = m_next++;
        if (j >= static_cast<long>(m_holders.size())) {
            return;
        }
        if (j < m_offset) {
            const char holder = m_holders[static_cast<size_t>(j)];
            if (holder == '0') {
                putDigit(out, '0');
            } else if (holder == '?') {
                out += ' ';
            }
            return;
        }
        // With more digits than placeholders the first placeholder shows the surplus.
        const long from = j == 0 ? 0 : j - m_offset;
        const long to = j - m_offset + 1;
        for (long k = from; k < to; ++k) {
            putDigit(out, m_digits[static_cast<size_t>(k)]);
        }
    }

private:
    void putDigit(std::string& out, char digit) {
        out += digit;
        if (--m_digitsLeft > 0 && m_grouping && m_digitsLeft % 3 == 0) {
            out += ',';
        }
    }

    std::string_view m_digits;
    std::string_view m_holders;
    long m_offset;  // placeholders without a digit, at the left
    bool m_grouping;
    size_t m_digitsLeft = 0;
    long m_next = 0;
};

// Fraction digits over fraction placeholders: trailing zeros vanish under "#" and become
// blanks under "?".
class FractionLayout {
public:
    FractionLayout(std::string_view digits, std::string_view holders)
        : m_digits(digits), m_holders(holders), m_shown(holders.size()) {
        while (m_shown > 0 && digits[m_shown - 1] == '0' && holders[m_shown - 1] != '0') {
            --m_shown;
        }
    }

    void next(std::string& out) {
        const size_t q = m_next++;
        if (q >= m_holders.size()) {
            return;
        }
        if (q < m_shown) {
            out += m_digits[q];
        } else if (m_holders[q] == '?') {
            out += ' ';
        }
    }

private:
    std::string_view m_digits;
    std::string_view m_holders;
    size_t m_shown;
    size_t m_next = 0;
};

double scaled(double value, const Section& section) {
    for (int i = 0; i < section.percent; ++i) {
        value *= 100.0;
    }
    for (int i = 0; i < section.scale; ++i) {
        value /= 1000.0;
    }
    return value;
}

std::string formatPlainNumber(const Section& section, double value) {
    const int fractionCount = static_cast<int>(section.fractionHolders.size());
    Decimal d = toDecimal(scaled(value, section));
    roundTo(d, fractionCount);
    const std::string integer = integerDigits(d);
    const std::string fraction = fractionDigits(d, fractionCount);
    IntegerLayout integerPart(integer, section.integerHolders, section.grouping);
    FractionLayout fractionPart(fraction, section.fractionHolders);
    std::string out;
    bool seenPoint = false;
    for (const Token& token : section.tokens) {
        switch (token.kind) {
            case Kind::Digit:
                if (seenPoint) {
                    fractionPart.next(out);
                } else {
                    integerPart.next(out);
                }
                break;
            case Kind::Point:
                // Without integer placeholders the integer digits still show, before the point.
                if (section.integerHolders.empty()) {
                    out += integer;
                }
                out += '.';
                seenPoint = true;
                break;
            case Kind::Percent:
                out += '%';
                break;
            default:
                out += token.text;
                break;
        }
    }
    return out;
}

std::string formatScientific(const Section& section, double value) {
    const std::string& integerHolders = section.integerHolders;
    const int fractionCount = static_cast<int>(section.fractionHolders.size());
    const int integerCount = std::max<int>(1, static_cast<int>(integerHolders.size()));
    // "##0.0E+0": with "#" or "?" among several integer places the exponent is a multiple
    // of their count (engineering notation); otherwise every integer place holds a digit.
    const bool engineering =
        integerCount > 1 && integerHolders.find_first_not_of('0') != std::string::npos;
    Decimal d = toDecimal(scaled(value, section));
    int exponent = 0;
    if (!d.digits.empty()) {
        const int magnitude = d.point - 1;
        if (engineering) {
            exponent = magnitude >= 0
                           ? magnitude / integerCount * integerCount
                           : -((-magnitude + integerCount - 1) / integerCount) * integerCount;
        } else {
            exponent = magnitude - (integerCount - 1);
        }
        d.point -= exponent;
        roundTo(d, fractionCount);
        // Rounding up may carry into one more integer digit: 9.99 -> 10.0.
        if (d.point > integerCount) {
            const int step = engineering ? integerCount : 1;
            d.point -= step;
            exponent += step;
        }
    }
    const std::string integer = integerDigits(d);
    const std::string fraction = fractionDigits(d, fractionCount);
    const std::string exponentDigits = std::to_string(std::abs(exponent));
    IntegerLayout integerPart(integer, integerHolders, false);
    FractionLayout fractionPart(fraction, section.fractionHolders);
    IntegerLayout exponentPart(exponentDigits, section.exponentHolders, false);

    std::string out;
    int part = 0;  // 0 integer, 1 fraction, 2 exponent
    for (const Token& token : section.tokens) {
        switch (token.kind) {
            case Kind::Digit:
                if (part == 0) {
                    integerPart.next(out);
                } else if (part == 1) {
                    fractionPart.next(out);
                } else {
                    exponentPart.next(out);
                }
                break;
            case Kind::Point:
                if (integerHolders.empty()) {
                    out += integer;
                }
                out += '.';
                part = 1;
                break;
            case Kind::Exponent:
                out += token.text.front();
                if (exponent < 0) {
                    out += '-';
                } else if (token.ch == '+') {
                    out += '+';
                }
                part = 2;
                break;
            case Kind::Percent:
                out += '%';
                break;
            default:
                out += token.text;
                break;
        }
    }
    return out;
}

// The fraction a spreadsheet shows for value (0 <= value): the last convergent of its
// continued fraction whose denominator fits, computed in floating point as spreadsheet
// programs do (so 0.9 with one-digit denominators is 8/9, not 1). The numerator is a whole
// number held in a double: without a whole-number part it grows with the value, past any
// integer type.
void approximate(double value, int64_t maxDenominator, double& numerator, int64_t& denominator) {
    int64_t k0 = 0;  // the denominator of the convergent before the last
    double h0 = 1;
    const double whole = std::floor(value);
    double h1 = whole;
    int64_t k1 = 1;
    double rest = value - whole;
    for (int step = 0; step < 64 && rest > 0; ++step) {
        const double x = 1.0 / rest;
        const double a = std::floor(x);
        if (!(a < 1e15)) {
            break;
        }
        const auto term = static_cast<int64_t>(a);
        if (term > (maxDenominator - k0) / k1) {
            break;  // the next denominator would not fit
        }
        const double h2 = a * h1 + h0;
        const int64_t k2 = term * k1 + k0;
        h0 = h1, k0 = k1, h1 = h2, k1 = k2;
        rest = x - a;
    }
    numerator = h1;
    denominator = k1;
}

// The digits of a whole number held in a double, to 15 significant digits.
std::string wholeNumberDigits(double value) {
    Decimal d = toDecimal(value);
    roundTo(d, 0);
    const std::string digits = integerDigits(d);
    return digits.empty() ? "0" : digits;
}

std::string formatFraction(const Section& section, double value) {
    const auto& tokens = section.tokens;
    value = scaled(value, section);
    const bool hasWhole = !section.integerHolders.empty();
    double whole = hasWhole ? std::floor(value) : 0.0;
    const double part = value - whole;
    double numerator = 0;
    int64_t denominator = 1;
    if (section.fixedDenominator > 0) {
        denominator = section.fixedDenominator;
        numerator = std::floor(part * static_cast<double>(denominator) + 0.5);
    } else {
        int64_t maxDenominator = 1;
        for (size_t i = 0; i < section.denominatorHolders.size() && i < 9; ++i) {
            maxDenominator *= 10;
        }
        approximate(part, maxDenominator - 1, numerator, denominator);
    }
    if (!std::isfinite(numerator) || !std::isfinite(whole)) {
        return std::string(kUnshowable);  // a numerator past the largest number
    }
    if (hasWhole && numerator >= static_cast<double>(denominator)) {
        // Whole units in the fraction.
        const double carried = std::floor(numerator / static_cast<double>(denominator));
        whole += carried;
        numerator -= carried * static_cast<double>(denominator);
    }
    if (!hasWhole && section.fixedDenominator == 0 && numerator == 0) {
        denominator = 1;
    }
    const bool blankFraction = hasWhole && numerator == 0;

    Decimal wholeDecimal = toDecimal(whole);
    roundTo(wholeDecimal, 0);
    std::string wholeDigits = integerDigits(wholeDecimal);
    if (blankFraction && wholeDigits.empty()) {
        wholeDigits = "0";  // the number still shows when the fraction part is blank
    }
    const std::string numeratorDigits = wholeNumberDigits(numerator);
    const std::string denominatorDigits = std::to_string(denominator);
    IntegerLayout wholePart(wholeDigits, section.integerHolders, section.grouping);
    IntegerLayout numeratorPart(numeratorDigits, section.fractionHolders, false);
    const std::string_view denominatorHolders = section.denominatorHolders;
    size_t nextDenominator = 0;

    // With a whole number, the fraction region runs from after the last whole-number digit to
    // the end of the denominator; a zero fraction shows as blanks of the same width.
    size_t fractionBegin = 0;
    for (size_t i = 0; i < section.numeratorBegin; ++i) {
        if (tokens[i].kind == Kind::Digit) {
            fractionBegin = i + 1;
        }
    }
    std::string out;
    std::string fractionText;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        const bool inRegion = hasWhole && i >= fractionBegin && i < section.denominatorEnd;
        std::string& sink = inRegion ? fractionText : out;
        if (token.kind == Kind::Digit) {
            if (i < section.numeratorBegin) {
                wholePart.next(sink);
            } else if (i < section.slash) {
                numeratorPart.next(sink);
            } else {
                // The denominator is aligned left: unused places after it become blanks.
                const size_t j = nextDenominator++;
                const bool last = j + 1 == denominatorHolders.size();
                if (j < denominatorDigits.size()) {
                    sink.append(denominatorDigits, j, last ? std::string::npos : 1);
                } else if (denominatorHolders[j] == '?') {
                    sink += ' ';
                }
            }
        } else if (token.kind == Kind::Slash) {
            sink += '/';
        } else if (token.kind == Kind::Percent) {
            sink += '%';
        } else {
            sink += token.text;
        }
        if (inRegion && i + 1 == section.denominatorEnd) {
            out += blankFraction ? std::string(utf16Length(fractionText), ' ') : fractionText;
        }
    }
    return out;
}

std::string padded(int64_t value, int width) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<size_t>(width) - text.size(), '0');
    }
    return text;
}

std::string formatDateTime(const Section& section, double value, bool date1904) {
    const int64_t maxSerial = date1904 ? kMaxDateSerial1900 - kDate1904Offset : kMaxDateSerial1900;
    if (value < 0 || value >= static_cast<double>(maxSerial + 1)) {
        return std::string(kUnshowable);
    }
    int64_t ticksPerSecond = 1;
    for (int i = 0; i < section.subSecondDigits; ++i) {
        ticksPerSecond *= 10;
    }
    const int64_t ticks = std::llround(value * 86400.0 * static_cast<double>(ticksPerSecond));
    const int64_t totalSeconds = ticks / ticksPerSecond;
    const int64_t subTicks = ticks % ticksPerSecond;
    const int64_t days = totalSeconds / 86400;
    const int64_t secondOfDay = totalSeconds % 86400;
    const auto date = dateFromSerial(days, date1904);
    if (!date) {
        return std::string(kUnshowable);
    }
    const int64_t hour = secondOfDay / 3600;
    const int64_t minute = secondOfDay / 60 % 60;
    const int64_t second = secondOfDay % 60;

    std::string out;
    for (const Token& token : section.tokens) {
        switch (token.kind) {
            case Kind::Year:
                out += token.count <= 2 ? padded(date->year % 100, 2) : padded(date->year, 4);
                break;
            case Kind::Month:
                if (token.count <= 2) {
                    out += padded(date->month, token.count);
                } else if (token.count == 3) {
                    out += kMonthNames[static_cast<size_t>(date->month - 1)].substr(0, 3);
                } else if (token.count == 4) {
                    out += kMonthNames[static_cast<size_t>(date->month - 1)];
                } else {
                    out += kMonthNames[static_cast<size_t>(date->month - 1)].substr(0, 1);
                }
                break;
            case Kind::Day:
                if (token.count <= 2) {
                    out += padded(date->day, token.count);
                } else {
                    const auto name =
                        kDayNames[static_cast<size_t>(weekdayOfSerial(days, date1904))];
                    out += token.count == 3 ? name.substr(0, 3) : name;
                }
                break;
            case Kind::Hour: {
                int64_t shown = hour;
                if (section.twelveHour) {
                    shown = hour % 12 == 0 ? 12 : hour % 12;
                }
                out += padded(shown, std::min(token.count, 2));
                break;
            }
            case Kind::Minute:
                out += padded(minute, std::min(token.count, 2));
                break;
            case Kind::Second:
                out += padded(second, std::min(token.count, 2));
                break;
            case Kind::SubSecond:
                out += ".";
                out += padded(subTicks, section.subSecondDigits)
                           .substr(0, static_cast<size_t>(token.count));
                break;
            case Kind::AmPm: {
                // "AM/PM" shows AM or PM in the letters' own case, "A/P" shows A or P.
                const size_t slash = token.text.find('/');
                out += hour < 12 ? token.text.substr(0, slash) : token.text.substr(slash + 1);
                break;
            }
            case Kind::ElapsedHours:
                out += padded(totalSeconds / 3600, token.count);
                break;
            case Kind::ElapsedMinutes:
                out += padded(totalSeconds / 60, token.count);
                break;
            case Kind::ElapsedSeconds:
                out += padded(totalSeconds, token.count);
                break;
            default:
                out += token.text;
                break;
        }
    }
    return out;
}

std::string formatThroughText(const Section& section, std::string_view text) {
    std::string out;
    for (const Token& token : section.tokens) {
        out += token.kind == Kind::At ? text : std::string_view(token.text);
    }
    return out;
}

std::string formatGeneralSection(const Section& section, double value) {
    if (section.tokens.size() == 1) {
        return generalText(value);  // General alone, by far the most common format
    }
    std::string out;
    for (const Token& token : section.tokens) {
        out += token.kind == Kind::General ? generalText(value) : token.text;
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string_view builtinFormatCode(int id) {
    if (id < 0 || id >= static_cast<int>(kBuiltinFormats.size())) {
        return {};
    }
    return kBuiltinFormats[static_cast<size_t>(id)];
}

int builtinFormatId(std::string_view code) {
    if (equalsIgnoringAsciiCase(code, "General")) {
        return 0;
    }
    for (size_t id = 1; id < kBuiltinFormats.size(); ++id) {
        if (!kBuiltinFormats[id].empty() && kBuiltinFormats[id] == code) {
            return static_cast<int>(id);
        }
    }
    return -1;
}

namespace {

// A date section with a year, month or day part; months are told from minutes by then.
bool showsCalendarPart(const Section& section) {
    if (section.type != SectionType::DateTime) {
        return false;
    }
    return std::any_of(section.tokens.begin(), section.tokens.end(), [](const Token& token) {
        return token.kind == Kind::Year || token.kind == Kind::Month || token.kind == Kind::Day;
    });
}

}  // namespace

struct NumberFormat::Parsed {
    std::vector<Section> sections;
    bool conditional = false;
    int textSection = -1;  // index of the section that shows texts, or -1
    bool dateTime = false;
    bool calendarDate = false;
};

NumberFormat::NumberFormat(std::string_view code) : m_parsed(std::make_unique<Parsed>()) {
    Parsed& p = *m_parsed;
    if (code.empty()) {
        code = "General";
    }
    for (std::string_view part : splitSections(code)) {
        p.sections.push_back(parseSection(part));
    }
    const size_t numberSections = std::min<size_t>(p.sections.size(), 3);
    for (size_t i = 0; i < numberSections; ++i) {
        p.conditional |= p.sections[i].compare != Compare::None;
        p.dateTime |= p.sections[i].type == SectionType::DateTime;
        p.calendarDate |= showsCalendarPart(p.sections[i]);
    }
    if (p.sections.size() == 4) {
        p.textSection = 3;
    } else if (p.sections.back().type == SectionType::Text) {
        p.textSection = static_cast<int>(p.sections.size()) - 1;
    }
}

NumberFormat::~NumberFormat() = default;
NumberFormat::NumberFormat(NumberFormat&&) noexcept = default;
NumberFormat& NumberFormat::operator=(NumberFormat&&) noexcept = default;

bool NumberFormat::isDateTime() const {
    return m_parsed->dateTime;
}

bool NumberFormat::showsCalendarDate() const {
    return m_parsed->calendarDate;
}

bool NumberFormat::hasTextSection() const {
    return m_parsed->textSection >= 0;
}

std::string NumberFormat::format(double value, bool date1904) const {
    if (!std::isfinite(value)) {
        return "#NUM!";
    }
    const Parsed& p = *m_parsed;
    const size_t count = std::min<size_t>(p.sections.size(), 3);
    const Section* section = nullptr;
    bool minus = value < 0;
    if (p.conditional) {
        for (size_t i = 0; i < count && !section; ++i) {
            if (p.sections[i].test(value)) {
                section = &p.sections[i];
            }
        }
        if (!section) {
            return generalText(value);
        }
    } else if (value < 0 && count >= 2) {
        section = &p.sections[1];
        minus = false;  // the negative section shows its own sign, if any
    } else if (value == 0 && count >= 3) {
        section = &p.sections[2];
    } else {
        section = &p.sections[0];
    }
    if (section->tokens.empty()) {
        return {};
    }
    const double magnitude = std::fabs(value);
    std::string text;
    switch (section->type) {
        case SectionType::General:
            text = formatGeneralSection(*section, magnitude);
            break;
        case SectionType::Text:
            return generalText(value);
        case SectionType::DateTime:
            if (minus) {
                return std::string(kUnshowable);
            }
            text = formatDateTime(*section, magnitude, date1904);
            if (text == kUnshowable) {
                return text;
            }
            break;
        case SectionType::Fraction:
            text = formatFraction(*section, magnitude);
            break;
        case SectionType::Scientific:
            text = formatScientific(*section, magnitude);
            break;
        case SectionType::Number:
            text = formatPlainNumber(*section, magnitude);
            break;
    }
    if (minus) {
        text.insert(text.begin(), '-');
    }
    return text;
}

std::string NumberFormat::formatText(std::string_view text) const {
    const Parsed& p = *m_parsed;
    if (p.textSection < 0) {
        return std::string(text);
    }
    return formatThroughText(p.sections[static_cast<size_t>(p.textSection)], text);
}

bool isCalendarDateFormatCode(std::string_view code) {
    return isDateTimeFormatCode(code) && NumberFormat(code).showsCalendarDate();
}

bool isDateTimeFormatCode(std::string_view code) {
    int sections = 0;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = lowerAscii(code[i]);
        switch (c) {
            case '"': {
                const size_t close = code.find('"', i + 1);
                i = close == std::string_view::npos ? code.size() : close;
                break;
            }
            case '\\':
            case '_':
            case '*':
                ++i;
                break;
            case '[': {
                const size_t close = code.find(']', i);
                const std::string_view content = code.substr(
                    i + 1, (close == std::string_view::npos ? code.size() : close) - i - 1);
                if (!content.empty()) {
                    const char letter = lowerAscii(content.front());
                    if ((letter == 'h' || letter == 'm' || letter == 's') &&
                        std::all_of(content.begin(), content.end(),
                                    [&](char x) { return lowerAscii(x) == letter; })) {
                        return true;
                    }
                }
                i = close == std::string_view::npos ? code.size() : close;
                break;
            }
            case ';':
                if (++sections == 3) {
                    return false;  // the text section shows no dates
                }
                break;
            case 'g':
                if (code.size() - i >= 7 && equalsIgnoringAsciiCase(code.substr(i, 7), "General")) {
                    i += 6;
                }
                break;
            case 'e':
                if (i + 1 < code.size() && (code[i + 1] == '+' || code[i + 1] == '-')) {
                    ++i;
                }
                break;
            case 'y':
            case 'm':
            case 'd':
            case 'h':
            case 's':
                return true;
            case 'a':
                if ((code.size() - i >= 5 && equalsIgnoringAsciiCase(code.substr(i, 5), "AM/PM")) ||
                    (code.size() - i >= 3 && equalsIgnoringAsciiCase(code.substr(i, 3), "A/P"))) {
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return false;
}

namespace {

std::string cellText(const Workbook& workbook, const Cell& cell, const NumberFormat* format) {
    switch (cell.type) {
        case CellType::Blank:
            return {};
        case CellType::Number:
            return format ? format->format(cell.value.number, workbook.isDate1904())
                          : generalText(cell.value.number);
        case CellType::Text: {
            const std::string_view text = workbook.strings().text(cell.value.text);
            return format ? format->formatText(text) : std::string(text);
        }
        case CellType::Boolean:
            return cell.value.boolean ? "TRUE" : "FALSE";
        case CellType::Error:
            return std::string(errorText(cell.value.error));
    }
    return {};
}

// The format-code id of a style; ids a table does not have stand for General.
uint32_t formatCodeOfStyle(const StyleTable& styles, uint32_t style) {
    if (style >= styles.styleCount()) {
        return 0;
    }
    const uint32_t code = styles.style(style).numberFormat;
    return code < styles.formatCodeCount() ? code : 0;
}

struct CodeHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// Parsed formats of the codes this thread has shown, so that showing cell after cell does
// not parse the same code again and again.
const NumberFormat& cachedFormat(std::string_view code) {
    thread_local std::unordered_map<std::string, NumberFormat, CodeHash, std::equal_to<>> cache;
    if (auto it = cache.find(code); it != cache.end()) {
        return it->second;
    }
    if (cache.size() > 4096) {
        cache.clear();
    }
    return cache.emplace(std::string(code), NumberFormat(code)).first->second;
}

}  // namespace

std::string displayText(const Workbook& workbook, const Cell& cell) {
    if (cell.type != CellType::Number && cell.type != CellType::Text) {
        return cellText(workbook, cell, nullptr);
    }
    const StyleTable& styles = workbook.styles();
    const uint32_t code = formatCodeOfStyle(styles, cell.style);
    if (code == 0) {
        return cellText(workbook, cell, nullptr);
    }
    return cellText(workbook, cell, &cachedFormat(styles.formatCode(code)));
}

DisplayFormatter::DisplayFormatter(const Workbook& workbook) : m_workbook(workbook) {}
DisplayFormatter::~DisplayFormatter() = default;

const NumberFormat& DisplayFormatter::formatOfStyle(uint32_t style) {
    const StyleTable& styles = m_workbook.styles();
    const uint32_t code = formatCodeOfStyle(styles, style);
    if (code >= m_formats.size()) {
        m_formats.resize(styles.formatCodeCount());
    }
    auto& slot = m_formats[code];
    if (!slot) {
        slot = std::make_unique<NumberFormat>(styles.formatCode(code));
    }
    return *slot;
}

std::string DisplayFormatter::text(const Cell& cell) {
    if (cell.type != CellType::Number && cell.type != CellType::Text) {
        return cellText(m_workbook, cell, nullptr);
    }
    return cellText(m_workbook, cell, &formatOfStyle(cell.style));
}

}  // namespace plyfold::engine
