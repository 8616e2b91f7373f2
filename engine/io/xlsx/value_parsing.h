#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/io/xlsx/xml_handler.h"
#include "engine/model/cell_ref.h"

namespace plyfold::engine::xlsx_read {

// Decodes the _xHHHH_ escapes with which the file format writes characters that XML cannot
// carry (_x000D_ is a carriage return; _x005F_ escapes an underscore). UTF-16 surrogate
// pairs written as two escapes become one character; a lone surrogate becomes U+FFFD.
void decodeEscapes(std::string& text);

// A number as the file format writes it ("12", "-1.5E-3"), allowing surrounding white
// space and a leading "+". False for anything else, infinities and NaN included.
bool parseNumber(std::string_view text, double& value);

// A non-negative decimal integer that fits in 32 bits.
bool parseIndex(std::string_view text, uint32_t& value);

// An attribute of type xsd:boolean: "1" or "true" (true), "0" or "false" (false).
std::optional<bool> parseBoolean(std::string_view text);

// The serial number of an ISO 8601 date, date and time, or time ("2021-03-04",
// "2021-03-04T12:30:00.5Z", "12:30:00") in the 1900 or 1904 date system. A time zone
// offset is left out, as spreadsheets hold local times. nullopt when the text is no such
// date or the date lies before the start of the date system.
std::optional<double> parseIsoDateSerial(std::string_view text, bool date1904);

// Whether text taken from XML by the fast scanner is what XML allows: valid UTF-8 without
// control characters other than tab, line feed and carriage return.
bool isXmlText(std::string_view text);

// A boolean attribute's value; fallback when it is missing or not a boolean.
bool booleanAttribute(XmlAttributes attributes, std::string_view name, bool fallback);

// An attribute's text with its escapes decoded; empty when it is not text XML allows.
std::string textAttribute(XmlAttributes attributes, std::string_view name);

// Texts longer than this in the file cannot fit a cell, however they are escaped, so
// collecting stops there.
inline constexpr size_t kMaxRawTextBytes = 1u << 20;

enum class ReferenceStatus { Ok, Invalid, BeyondLimits };

// A cell reference of the form "B7" (no "$", upper or lower case letters).
ReferenceStatus parseCellReference(std::string_view text, CellRef& ref);

}  // namespace plyfold::engine::xlsx_read
