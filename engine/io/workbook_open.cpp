#include <algorithm>
#include <memory>

#include "engine/io/csv/delimited_text_reader.h"
#include "engine/io/dbf/dbf_reader.h"
#include "engine/common/error.h"
#include "engine/common/file_access.h"
#include "engine/common/text.h"
#include "engine/io/workbook_io.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/io/xlsx/xlsx_reader.h"

namespace plyfold::engine {
namespace {

// Enough of a file to tell its format, and the first lines of a text file.
constexpr size_t kSniffBytes = 8192;

std::string_view extensionOf(std::string_view path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return {};
    }
    return path.substr(dot);
}

bool hasExtension(std::string_view path, std::string_view extension) {
    return equalsIgnoringAsciiCase(extensionOf(path), extension);
}

uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

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
    return month <= 12 && day <= 31 && headerLength >= 33 && recordLength >= 2;
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
    if (isWebPage(b) || isXmlSpreadsheet(b)) {
        return FileFormat::Unknown;
    }
    if (hasExtension(path, ".csv")) {
        return FileFormat::Csv;
    }
    if (hasExtension(path, ".txt")) {
        return FileFormat::TabText;
    }
    if (hasExtension(path, ".xls") && looksLikeText(b)) {
        return sniffDelimiter(b);
    }
    return FileFormat::Unknown;
}

std::unique_ptr<Workbook> openWorkbook(const std::string& path) {
    // The readers that read at once carry on with the file opened here.
    auto file = std::make_shared<const files::InputFile>(path);
    std::string firstBytes = file->readFirst(kSniffBytes);
    switch (detectFormat(firstBytes, path)) {
        case FileFormat::Xlsx:
            return readXlsx(std::move(file));
        case FileFormat::Xls:
            return xls::readXls(*file);
        case FileFormat::Csv:
            return csv::readDelimitedText(path, ',');
        case FileFormat::TabText:
            return csv::readDelimitedText(path, '\t');
        case FileFormat::Dbf:
            return dbf::readDbf(path);
        case FileFormat::Unknown:
            break;
    }
    if (isWebPage(firstBytes)) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "'" + path +
                                   "' is a web page saved with a spreadsheet extension; open it "
                                   "in a spreadsheet program and save it as a workbook.");
    }
    if (isXmlSpreadsheet(firstBytes)) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "'" + path +
                                   "' is an XML spreadsheet (the 2003 XML format); open it in a "
                                   "spreadsheet program and save it as a workbook.");
    }
    throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                           "'" + path + "' is not a file format Plyfold can read.");
}

}  // namespace plyfold::engine
