// Number formats: any format code is parsed and shows any number and any text without a
// crash and in bounded space, and agrees with the cheap date check. Numbers shown through
// formats whose meaning is plain (General, fixed decimals, scientific, percent, fractions,
// dates and times) must read back as the number they show, within what the format rounds.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/ops/date_serial.h"
#include "engine/ops/number_format.h"
#include "fuzz/finding.h"
#include "fuzz/fuzz_input.h"

namespace {

using namespace plyfold::engine;
using plyfold::fuzz::finding;

std::string describe(std::string_view code, double value, const std::string& shown) {
    char number[40];
    std::snprintf(number, sizeof number, "%.17g", value);
    return "[" + std::string(code) + "] shows " + number + " as [" + shown + "]";
}

// The number a plain decimal text stands for ("-1,234.50", "1.5E-07", "12.5%"); false when the
// text is not one.
bool readNumber(std::string text, double& value) {
    std::erase(text, ',');
    double scale = 1;
    if (!text.empty() && text.back() == '%') {
        text.pop_back();
        scale = 100;
    }
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end) / scale;
    return end == text.c_str() + text.size();
}

// Formats that show a number as a plain decimal, with how far from the number what they show
// may lie: half a unit of the last shown digit, besides the 15 significant digits kept.
struct PlainFormat {
    const char* code;
    double absolute;  // half a unit of the last decimal shown, for fixed decimals
    double relative;  // for the formats that keep a number of significant digits
};
constexpr PlainFormat kPlainFormats[] = {
    {"General", 0, 5e-5},  {"0", 0.5, 0},     {"0.00", 0.005, 0},    {"#,##0.000", 5e-4, 0},
    {"0.00E+00", 0, 5e-3}, {"0.0%", 5e-4, 0}, {"##0.0E+0", 0, 5e-2},
};

void checkPlain(const PlainFormat& plain, double value) {
    if (!std::isfinite(value) || std::fabs(value) > 1e300 ||
        (plain.absolute > 0 && std::fabs(value) >= 1e15)) {
        return;
    }
    const std::string shown = NumberFormat(plain.code).format(value, false);
    double back = 0;
    if (!readNumber(shown, back)) {
        finding(describe(plain.code, value, shown) + ", not a number");
    }
    const double allowed =
        plain.absolute * (1 + 1e-9) + std::fabs(value) * (plain.relative + 1e-14);
    // A number too small for the decimals shown may come out as zero either way.
    if (!(std::fabs(back - value) <= allowed) &&
        !(plain.relative > 0 && std::fabs(value) < 1e-300)) {
        finding(describe(plain.code, value, shown) + ", which is too far from it");
    }
}

// A whole number and a fraction of up to three digits below the bar: the nearest such
// fraction, so within 1/1000 of the number's fractional part (the next convergent would need a
// larger denominator).
constexpr const char* kFraction = "# ?\?\?/?\?\?";

void checkFraction(double value) {
    if (!(std::fabs(value) < 1e9)) {
        return;
    }
    const std::string shown = NumberFormat(kFraction).format(value, false);
    long long whole = 0, numerator = 0, denominator = 1;
    const char* text = shown.c_str();
    const bool negative = *text == '-';
    text += negative ? 1 : 0;
    char* end = nullptr;
    if (*text != ' ') {
        whole = std::strtoll(text, &end, 10);
        text = end;
    }
    while (*text == ' ') {
        ++text;
    }
    if (*text) {
        numerator = std::strtoll(text, &end, 10);
        if (*end != '/') {
            finding(describe(kFraction, value, shown) + ", not a fraction");
        }
        denominator = std::strtoll(end + 1, &end, 10);
        if (denominator <= 0 || denominator > 999 || numerator >= denominator) {
            finding(describe(kFraction, value, shown) + ", not a proper fraction");
        }
    }
    const double magnitude = static_cast<double>(whole) +
                             static_cast<double>(numerator) / static_cast<double>(denominator);
    if (!(std::fabs(magnitude - std::fabs(value)) <= 1.0 / 999 + std::fabs(value) * 1e-12)) {
        finding(describe(kFraction, value, shown) + ", which is too far from it");
    }
}

// "yyyy-mm-dd hh:mm:ss": the day and the second of the serial, or hashes outside the days a
// spreadsheet shows.
void checkDateTime(double value, bool date1904) {
    const char* code = "yyyy-mm-dd hh:mm:ss";
    if (!std::isfinite(value)) {
        return;
    }
    const std::string shown = NumberFormat(code).format(value, date1904);
    const double last = date1904 ? kMaxDateSerial1900 - kDate1904Offset : kMaxDateSerial1900;
    if (shown == "########") {
        if (value >= 0 && value < last) {
            finding(describe(code, value, shown) + ", a day that can be shown");
        }
        return;
    }
    CivilDate date;
    int hour = 0, minute = 0, second = 0;
    if (std::sscanf(shown.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &date.year, &date.month, &date.day,
                    &hour, &minute, &second) != 6) {
        finding(describe(code, value, shown) + ", not a date");
    }
    const auto serial = serialFromDate(date, date1904);
    if (!serial || hour > 23 || minute > 59 || second > 59) {
        finding(describe(code, value, shown) + ", a day or time that does not exist");
    }
    const double back =
        static_cast<double>(*serial) + (hour * 3600 + minute * 60 + second) / 86400.0;
    if (!(std::fabs(back - value) <= 0.5 / 86400 + 1e-9)) {
        finding(describe(code, value, shown) + ", which is another second");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plyfold::fuzz::FuzzInput in(data, size);
    const uint8_t choice = in.byte();
    const bool date1904 = choice & 1;
    double value = in.anyDouble();
    if (choice & 2) {
        // Numbers near the ones cells hold: small integers, dates, times and their fractions.
        value = static_cast<double>(static_cast<int32_t>(in.fourBytes())) / (1 << (choice >> 3));
    }
    const std::string text = in.text();
    const std::string code(in.rest());

    const NumberFormat format(code);
    const std::string shown = format.format(value, date1904);
    const std::string shownText = format.formatText(text);
    // What a format shows grows with the code (each placeholder, each repeated part), never
    // beyond a few hundred characters for each of its characters.
    if (shown.size() > 400 * (code.size() + 1) ||
        shownText.size() > (code.size() + 1) * (text.size() + 1)) {
        finding(describe(code, value, shown) + ", too long");
    }
    if (format.isDateTime() != isDateTimeFormatCode(code)) {
        finding("[" + code + "]: the parsed format and the cheap check disagree on dates");
    }
    if (format.showsCalendarDate() != isCalendarDateFormatCode(code) ||
        (format.showsCalendarDate() && !format.isDateTime())) {
        finding("[" + code + "]: a calendar date that is no date, or two answers for one code");
    }
    (void)format.hasTextSection();

    checkPlain(kPlainFormats[choice % std::size(kPlainFormats)], value);
    checkFraction(value);
    checkDateTime(value, date1904);
    return 0;
}
