#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::engine {

class Workbook;
struct Cell;

// The format code of a built-in number format id (0 to 49), or empty when the id has none.
std::string_view builtinFormatCode(int id);
// The built-in id of a format code, or -1.
int builtinFormatId(std::string_view code);

// A parsed number format code: up to four sections (positive; negative; zero; text), with
// conditions and colours read and skipped, literals, digits, thousands separators, percent,
// scientific notation, fractions, dates and times (both date systems) and elapsed times.
class NumberFormat {
public:
    explicit NumberFormat(std::string_view code);
    ~NumberFormat();
    NumberFormat(NumberFormat&&) noexcept;
    NumberFormat& operator=(NumberFormat&&) noexcept;

    // The text a spreadsheet shows for the number in a wide enough column.
    std::string format(double value, bool date1904) const;
    // The text shown for a text value (the fourth section, or the text itself).
    std::string formatText(std::string_view text) const;
    // True when the format shows a date or a time.
    bool isDateTime() const;
    // True when the format shows a calendar date: a year, month or day part (a weekday too).
    // Times of day and elapsed durations alone show none.
    bool showsCalendarDate() const;
    // True when texts go through a section of the format rather than being shown as they are.
    bool hasTextSection() const;

private:
    struct Parsed;
    std::unique_ptr<Parsed> m_parsed;
};

// True when the code shows a date or a time (a cheap check without a full parse).
bool isDateTimeFormatCode(std::string_view code);
// True when the code shows a calendar date (see NumberFormat::showsCalendarDate).
bool isCalendarDateFormatCode(std::string_view code);

// The text a spreadsheet shows for a cell of the workbook: numbers through the cell's number
// format, texts, TRUE/FALSE, error texts; empty for a blank cell.
std::string displayText(const Workbook& workbook, const Cell& cell);

// displayText for many cells of one workbook: each number format is parsed once.
class DisplayFormatter {
public:
    explicit DisplayFormatter(const Workbook& workbook);
    ~DisplayFormatter();
    DisplayFormatter(const DisplayFormatter&) = delete;
    DisplayFormatter& operator=(const DisplayFormatter&) = delete;

    std::string text(const Cell& cell);
    // The parsed number format of a style of the workbook.
    const NumberFormat& formatOfStyle(uint32_t style);

private:
    const Workbook& m_workbook;
    std::vector<std::unique_ptr<NumberFormat>> m_formats;  // by format-code id
};

}  // namespace plyfold::engine
