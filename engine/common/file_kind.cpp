#include "engine/common/file_kind.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "engine/common/byte_order.h"
#include "engine/common/text.h"

namespace plyfold::files {
namespace {

using engine::equalsIgnoringAsciiCase;
using engine::le16;

// The first record of a BIFF stream stored without a compound file (Excel 2 to 4, and a
// few writers of later versions): a BOF record of a plausible length.
bool isBareBiffStream(std::string_view b) {
    if (b.size() < 8) {
        return false;
    }
    uint16_t type = le16(b, 0);
    uint16_t length = le16(b, 2);
    bool bof = type == 0x0009 || type == 0x0209 || type == 0x0409 || type == 0x0809;
    return bof && length >= 4 && length <= 20;
}

bool isDbfVersion(unsigned char v) {
    switch (v) {
        case 0x02:
        case 0x03:
        case 0x04:
        case 0x05:
        case 0x30:
        case 0x31:
        case 0x32:
        case 0x43:
        case 0x63:
        case 0x7B:
        case 0x83:
        case 0x8B:
        case 0x8C:
        case 0x8E:
        case 0xB3:
        case 0xCB:
        case 0xE5:
        case 0xF5:
        case 0xFB:
            return true;
        default:
            return false;
    }
}

// A dBase header: a known version byte, a last-update date that can be one, and header
// and record lengths that leave room for at least one field.
bool isPlausibleDbfHeader(std::string_view b) {
    if (b.size() < 32 || !isDbfVersion(static_cast<unsigned char>(b[0]))) {
        return false;
    }
    if (b[0] == 0x02) {
        // dBase II: record count, date and record length in a smaller header.
        auto month = static_cast<unsigned char>(b[4]);
        auto day = static_cast<unsigned char>(b[5]);
        uint16_t recordLength = le16(b, 6);
        return month <= 12 && day <= 31 && recordLength >= 2 && b.size() > 8 && b[8] != 0 &&
               b[8] != 0x0D;
    }
    auto month = static_cast<unsigned char>(b[2]);
    auto day = static_cast<unsigned char>(b[3]);
    uint16_t headerLength = le16(b, 8);
    uint16_t recordLength = le16(b, 10);
    // A table of no fields (some GIS tools write one) has records of the deletion flag alone,
    // and its list of fields ends at once.
    const bool noFields = recordLength == 1 && b.size() > 32 && b[32] == 0x0D;
    return month <= 12 && day <= 31 && headerLength >= 33 && (recordLength >= 2 || noFields);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::string_view skipBomAndSpace(std::string_view b) {
    if (b.substr(0, 3) == "\xEF\xBB\xBF") {
        b.remove_prefix(3);
    }
    while (!b.empty() && (b[0] == ' ' || b[0] == '\t' || b[0] == '\r' || b[0] == '\n')) {
        b.remove_prefix(1);
    }
    return b;
}

// A web page, as some programs "export to Excel": HTML under a spreadsheet extension.
bool isWebPage(std::string_view b) {
    b = skipBomAndSpace(b);
    for (std::string_view start :
         {"<html", "<!doctype html", "<table", "<head", "<body", "<meta", "<style"}) {
        if (startsWithIgnoringCase(b, start)) {
            return true;
        }
    }
    return false;
}

// The XML Spreadsheet 2003 format, often saved as .xls.
bool isXmlSpreadsheet(std::string_view b) {
    b = skipBomAndSpace(b);
    return startsWithIgnoringCase(b, "<?xml") &&
           b.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string_view::npos;
}

// Plain text: a UTF-16 byte order mark, or no control characters but tab, CR, LF, form feed
// and the end-of-file mark.
bool looksLikeText(std::string_view b) {
    if (b.substr(0, 2) == "\xFF\xFE" || b.substr(0, 2) == "\xFE\xFF") {
        return true;
    }
    if (b.empty()) {
        return true;
    }
    return std::none_of(b.begin(), b.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 && u != '\t' && u != '\r' && u != '\n' && u != 0x0C && u != 0x1A;
    });
}

// Tabs against commas in the first lines, outside quotes.
FileFormat sniffDelimiter(std::string_view b) {
    size_t tabs = 0;
    size_t commas = 0;
    int lines = 0;
    bool quoted = false;
    for (char c : b) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '\t') {
            ++tabs;
        } else if (!quoted && c == ',') {
            ++commas;
        } else if (!quoted && c == '\n' && ++lines == 10) {
            break;
        }
    }
    return tabs > 0 && tabs >= commas ? FileFormat::TabText : FileFormat::Csv;
}

}  // namespace

FileType fileTypeOfExtension(std::string_view extension) {
    static constexpr std::array<std::pair<std::string_view, FileType>, 8> kTypes{{
        {"xls", FileType::Xls},
        {"xlsx", FileType::Xlsx},
        {"xlsm", FileType::Xlsm},
        {"xltx", FileType::Xltx},
        {"xltm", FileType::Xltm},
        {"csv", FileType::Csv},
        {"txt", FileType::Text},
        {"dbf", FileType::Dbf},
    }};
    for (const auto& [name, type] : kTypes) {
        if (engine::equalsIgnoringAsciiCase(extension, name)) {
            return type;
        }
    }
    return FileType::Other;
}

FileType fileTypeOfName(std::string_view path) {
    const size_t stop = path.find_last_of("./");
    if (stop == std::string_view::npos || path[stop] != '.') {
        return FileType::Other;
    }
    return fileTypeOfExtension(path.substr(stop + 1));
}

bool isWorkbookType(FileType type) {
    return type == FileType::Xls || type == FileType::Xlsx || type == FileType::Xlsm;
}

FileFormat detectFormat(std::string_view firstBytes, std::string_view path) {
    const std::string_view b = firstBytes;
    if (b.substr(0, 4) == "PK\x03\x04" || b.substr(0, 4) == "PK\x05\x06") {
        return FileFormat::Xlsx;
    }
    if (b.substr(0, 8) == "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") {
        return FileFormat::Xls;
    }
    if (isBareBiffStream(b)) {
        return FileFormat::Xls;
    }
    if (isPlausibleDbfHeader(b)) {
        return FileFormat::Dbf;
    }
    if (isWebPage(b)) {
        return FileFormat::WebPage;
    }
    if (isXmlSpreadsheet(b)) {
        return FileFormat::XmlSpreadsheet;
    }
    switch (fileTypeOfName(path)) {
        case FileType::Csv:
            return FileFormat::Csv;
        case FileType::Text:
            return FileFormat::TabText;
        case FileType::Xls:
            return looksLikeText(b) ? sniffDelimiter(b) : FileFormat::Unknown;
        default:
            return FileFormat::Unknown;
    }
}

}  // namespace plyfold::files
