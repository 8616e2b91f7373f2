#include <gtest/gtest.h>

#include <string>

#include "engine/common/file_kind.h"

namespace plyfold::files {
namespace {

TEST(FileType, ComesFromTheTextAfterTheLastFullStopOfTheLastComponent) {
    struct Case {
        const char* path;
        FileType type;
    };
    const Case cases[] = {
        {"a.xls", FileType::Xls},
        {"/data/A.XLS", FileType::Xls},
        {"b.Xlsx", FileType::Xlsx},
        {"c.xLsM", FileType::Xlsm},
        {"t.XLTX", FileType::Xltx},
        {"t.xltm", FileType::Xltm},
        {"d.CSV", FileType::Csv},
        {"e.Txt", FileType::Text},
        {"f.dBf", FileType::Dbf},
        {"book.tar.xls", FileType::Xls},
        {"/data.d/list.csv", FileType::Csv},
        {".csv", FileType::Csv},
        {"/data.xls/noextension", FileType::Other},
        {"noextension", FileType::Other},
        {"", FileType::Other},
        {"trailing.", FileType::Other},
        {"a.xls ", FileType::Other},
        {"a.xls.gz", FileType::Other},
        {"a.xlsb", FileType::Other},
        {"a.tsv", FileType::Other},
        {"notes txt", FileType::Other},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fileTypeOfName(c.path), c.type) << c.path;
    }
    EXPECT_EQ(fileTypeOfExtension("DBF"), FileType::Dbf);
    EXPECT_EQ(fileTypeOfExtension(".dbf"), FileType::Other);
    EXPECT_EQ(fileTypeOfExtension(""), FileType::Other);
}

TEST(FileType, WorkbooksAreTheThreeTypesAFolderListsAsXls) {
    for (FileType type : {FileType::Xls, FileType::Xlsx, FileType::Xlsm}) {
        EXPECT_TRUE(isWorkbookType(type));
    }
    for (FileType type : {FileType::Xltx, FileType::Xltm, FileType::Csv, FileType::Text,
                          FileType::Dbf, FileType::Other}) {
        EXPECT_FALSE(isWorkbookType(type));
    }
}

std::string dbaseHeader(char version) {
    std::string header(64, '\0');
    header[0] = version;
    header[1] = 124, header[2] = 3, header[3] = 31;  // last updated 2024-03-31
    header[8] = 65, header[10] = 12;                 // header 65 bytes, records 12 bytes
    return header;
}

TEST(DetectFormat, ContentWinsOverTheName) {
    const std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    const std::string dbase3 = dbaseHeader(0x03);
    std::string badDate = dbase3;
    badDate[2] = 13;  // month 13: not a dBase header
    std::string shortHeader = dbase3;
    shortHeader[8] = 32;  // no room for a field
    std::string dbase2(64, '\0');
    dbase2[0] = 0x02, dbase2[4] = 12, dbase2[5] = 1, dbase2[6] = 10, dbase2[8] = 'N';
    std::string dbase2WithoutFields = dbase2;
    dbase2WithoutFields[8] = 0x0D;
    struct Case {
        std::string bytes;
        const char* path;
        FileFormat format;
    };
    const Case cases[] = {
        // Office Open XML packages, an empty one too.
        {"PK\x03\x04rest", "a.xls", FileFormat::Xlsx},
        {"PK\x03\x04rest", "a.csv", FileFormat::Xlsx},
        {"PK\x03\x04", "noextension", FileFormat::Xlsx},
        {std::string("PK\x05\x06\0\0", 6), "a.xlsx", FileFormat::Xlsx},
        {"PK", "a.xlsx", FileFormat::Unknown},
        // Compound files and bare BIFF streams of every version.
        {ole + "rest", "a.xlsx", FileFormat::Xls},
        {ole, "a.csv", FileFormat::Xls},
        {ole.substr(0, 7), "a.xlsx", FileFormat::Unknown},
        {std::string("\x09\x00\x04\x00\x07\x00\x10\x00", 8), "a.xls", FileFormat::Xls},
        {std::string("\x09\x02\x06\x00\x00\x00\x10\x00", 8), "a.txt", FileFormat::Xls},
        {std::string("\x09\x04\x06\x00\x00\x00\x10\x00", 8), "noextension", FileFormat::Xls},
        {std::string("\x09\x08\x10\x00\x00\x06\x05\x00", 8), "a.dbf", FileFormat::Xls},
        {std::string("\x09\x08\x15\x00\x00\x06\x05\x00", 8), "a.xls", FileFormat::Unknown},
        {std::string("\x09\x08\x02\x00\x00\x06\x05\x00", 8), "a.xls", FileFormat::Unknown},
        {std::string("\x09\x00\x04\x00\x07\x00", 6), "a.xls", FileFormat::Unknown},
        // dBase tables, judged by a header that can be one.
        {dbase3, "a.dbf", FileFormat::Dbf},
        {dbase3, "a.xls", FileFormat::Dbf},
        {dbaseHeader(static_cast<char>(0x8B)), "noextension", FileFormat::Dbf},
        {dbaseHeader(static_cast<char>(0xF5)), "a.DBF", FileFormat::Dbf},
        {dbaseHeader(0x06), "a.dbf", FileFormat::Unknown},
        {dbase2, "a.dbf", FileFormat::Dbf},
        {dbase2WithoutFields, "a.dbf", FileFormat::Unknown},
        {badDate, "a.dbf", FileFormat::Unknown},
        {shortHeader, "a.dbf", FileFormat::Unknown},
        {dbase3.substr(0, 31), "a.dbf", FileFormat::Unknown},
        // Web pages and XML spreadsheets under any name, after a byte order mark and blanks.
        {"<html><body><table>", "a.xls", FileFormat::WebPage},
        {"\xEF\xBB\xBF  <!DOCTYPE html>", "a.xls", FileFormat::WebPage},
        {"<TABLE>", "a.csv", FileFormat::WebPage},
        {"\r\n\t<Head>", "a.txt", FileFormat::WebPage},
        {"<body>", "a.xlsx", FileFormat::WebPage},
        {"<meta charset=utf-8>", "a.xls", FileFormat::WebPage},
        {"<style>", "a.xls", FileFormat::WebPage},
        {"<?xml version=\"1.0\"?>\n<Workbook "
         "xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\">",
         "a.xls", FileFormat::XmlSpreadsheet},
        {"\xEF\xBB\xBF<?XML version=\"1.0\"?><ss:Workbook "
         "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">",
         "a.csv", FileFormat::XmlSpreadsheet},
        {"<?xml version=\"1.0\"?><root/>", "a.xml", FileFormat::Unknown},
        {"<?xml version=\"1.0\"?><root/>", "a.txt", FileFormat::TabText},
        // Text: by its name, whatever separator it shows.
        {"a,b\n1,2\n", "a.csv", FileFormat::Csv},
        {"a\tb\n", "/data/A.CSV", FileFormat::Csv},
        {"a,b\n", "a.txt", FileFormat::TabText},
        {"a\tb\n1\t2\n", "a.TXT", FileFormat::TabText},
        {"a,b", "a.dat", FileFormat::Unknown},
        {"a,b", "/data.csv/list", FileFormat::Unknown},
        {"", "a.csv", FileFormat::Csv},
        {"", "a.dbf", FileFormat::Unknown},
        {"", "a.xlsx", FileFormat::Unknown},
        // A .xls that is text, as some programs export: the separator of its first ten lines.
        {"a\tb,c\n1\t2\n", "a.xls", FileFormat::TabText},
        {"a,b\n1,2\n", "a.xls", FileFormat::Csv},
        {"a\tb,c\n", "a.XLS", FileFormat::TabText},  // as many tabs as commas
        {"\"x\ty\",z\n", "a.xls", FileFormat::Csv},  // the tab is inside quotes
        {"plain\n", "a.xls", FileFormat::Csv},
        {"", "a.xls", FileFormat::Csv},
        {std::string(10, '\n') + "a\tb\n", "a.xls", FileFormat::Csv},
        {std::string(9, '\n') + "a\tb\n", "a.xls", FileFormat::TabText},
        {"a\tb\f\x1A", "a.xls", FileFormat::TabText},
        {std::string("\xFF\xFE"
                     "a\0\tb\0",
                     7),
         "a.xls", FileFormat::TabText},
        {std::string("a\0b\x01\x02", 5), "a.xls", FileFormat::Unknown},
        {"a,b\x7F\x01", "a.xls", FileFormat::Unknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(detectFormat(c.bytes, c.path), c.format) << c.path << ": " << c.bytes;
    }
}

}  // namespace
}  // namespace plyfold::files
