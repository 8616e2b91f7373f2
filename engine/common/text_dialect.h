#pragma once

namespace plyfold::engine {

// How the day, month and year of a date written with slashes or dots are ordered.
enum class DateOrder {
    Automatic,  // by the column: day-first (or month-first) when every date-like field reads so
                // and one of them can only be read that way
    DayMonthYear,
    MonthDayYear,
    YearMonthDay,
};

enum class DecimalSeparator {
    Automatic,  // a point, or a comma in a semicolon file whose numbers are all written so
    Point,
    Comma,
};

// How .csv and .txt files are read; the defaults guess from the file itself.
struct TextDialect {
    // The field separator; 0 guesses it: a .csv whose first lines are consistently separated
    // by semicolons, tabs or pipes (and not commas) is read with that separator, else ',' for
    // .csv and TAB for .txt.
    char delimiter = 0;
    DecimalSeparator decimal = DecimalSeparator::Automatic;
    DateOrder dateOrder = DateOrder::Automatic;

    friend bool operator==(const TextDialect&, const TextDialect&) = default;
};

// What a comma-separated result holds of each cell.
enum class CsvValues {
    Shown,  // the text the cell shows, formatted as its number format says
    Raw,    // the stored value: numbers (dates as serials) in full precision, a formula's value
};

}  // namespace plyfold::engine
