#include "engine/io/xlsx/external_link_writer.h"

#include <set>
#include <utility>

#include "engine/common/text.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::engine::xlsx {
namespace {

void writeCachedCell(XmlStreamWriter& out, std::pair<int32_t, int32_t> at,
                     const ExternalValue& value) {
    out.raw("<cell");
    out.attribute("r", cellName(CellRef{at.first, at.second}));
    switch (value.type) {
        case CellType::Number:
            out.raw(" t=\"n\"><v>");
            out.number(value.number);
            break;
        case CellType::Boolean:
            out.raw(" t=\"b\"><v>");
            out.integer(value.number != 0.0 ? 1 : 0);
            break;
        case CellType::Error:
            out.raw(" t=\"e\"><v>");
            out.text(errorText(value.error));
            break;
        case CellType::Text:
            out.raw(" t=\"str\"><v>");
            out.text(value.text);
            break;
        case CellType::Blank:
            out.raw("/>");
            return;
    }
    out.raw("</v></cell>");
}

void writeExternalBook(ZipWriter& zip, const ExternalBook& book, int32_t index) {
    const std::string part = externalLinkPartName(index);
    {
        XmlStreamWriter out(zip, part);
        out.raw(
            "<externalLink xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
            "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
            "<externalBook r:id=\"rId1\">");
        if (!book.sheets.empty()) {
            out.raw("<sheetNames>");
            for (const ExternalSheet& sheet : book.sheets) {
                out.raw("<sheetName");
                out.attribute("val", sheet.name);
                out.raw("/>");
            }
            out.raw("</sheetNames>");
        }
        if (!book.names.empty()) {
            out.raw("<definedNames>");
            for (const ExternalName& name : book.names) {
                out.raw("<definedName");
                out.attribute("name", name.name);
                out.attribute("refersTo", "=" + name.formula);
                if (name.sheet >= 0) {
                    out.attribute("sheetId", name.sheet);
                }
                out.raw("/>");
            }
            out.raw("</definedNames>");
        }
        if (!book.sheets.empty()) {
            out.raw("<sheetDataSet>");
            for (size_t s = 0; s < book.sheets.size(); ++s) {
                const auto& cells = book.sheets[s].cells;
                out.raw("<sheetData");
                out.attribute("sheetId", static_cast<int64_t>(s));
                if (cells.empty()) {
                    out.raw("/>");
                    continue;
                }
                out.raw(">");
                int32_t row = -1;
                for (const auto& [at, value] : cells) {
                    if (at.first != row) {
                        if (row >= 0) {
                            out.raw("</row>");
                        }
                        row = at.first;
                        out.raw("<row");
                        out.attribute("r", row + 1);
                        out.raw(">");
                    }
                    writeCachedCell(out, at, value);
                }
                out.raw("</row></sheetData>");
            }
            out.raw("</sheetDataSet>");
        }
        out.raw("</externalBook></externalLink>");
        out.finish();
    }
    const std::string rels =
        "xl/externalLinks/_rels/externalLink" + std::to_string(index + 1) + ".xml.rels";
    XmlStreamWriter out(zip, rels);
    out.raw(
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/externalLinkPath\"");
    out.attribute("Target", externalLinkTarget(book.path));
    out.raw(" TargetMode=\"External\"/></Relationships>");
    out.finish();
}

}  // namespace

std::string externalLinkPartName(int32_t index) {
    return "xl/externalLinks/externalLink" + std::to_string(index + 1) + ".xml";
}

std::string externalLinkTarget(std::string_view path) {
    if (path.empty() || path.front() != '/') {
        return std::string(path);
    }
    std::string url = "file://";
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (c == ' ' || c == '%' || c == '#' || c == '?' || c == '[' || c == ']' || u < 0x20) {
            url.push_back('%');
            url.push_back(kHex[u >> 4]);
            url.push_back(kHex[u & 15]);
        } else {
            url.push_back(c);
        }
    }
    return url;
}

void writeExternalLinks(ZipWriter& zip, const PackagePlan& plan) {
    const auto& books = plan.workbook->externalBooks();
    for (size_t i = 0; i < books.size(); ++i) {
        writeExternalBook(zip, books[i], static_cast<int32_t>(i));
    }
}

void writeExternalReferences(XmlStreamWriter& out, const PackagePlan& plan,
                             int32_t firstRelationship) {
    const auto& books = plan.workbook->externalBooks();
    if (books.empty()) {
        return;
    }
    out.raw("<externalReferences>");
    for (size_t i = 0; i < books.size(); ++i) {
        out.raw("<externalReference r:id=\"rId");
        out.integer(firstRelationship + static_cast<int64_t>(i));
        out.raw("\"/>");
    }
    out.raw("</externalReferences>");
}

void writeDefinedNames(XmlStreamWriter& out, const PackagePlan& plan) {
    const Workbook& workbook = *plan.workbook;
    const size_t bookCount = workbook.externalBooks().size();
    auto sheetExists = [&workbook](std::string_view name) {
        for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
            if (equalsIgnoringAsciiCase(workbook.sheet(i).name(), name)) {
                return true;
            }
        }
        return false;
    };
    // A name twice in one scope makes spreadsheet programs reject the file: the first stays.
    std::set<std::pair<int32_t, std::string>> written;
    bool opened = false;
    auto write = [&](const DefinedName& name, int32_t scope) {
        if (name.name.empty() || !written.emplace(scope, asciiLower(name.name)).second) {
            return;
        }
        if (!opened) {
            out.raw("<definedNames>");
            opened = true;
        }
        out.raw("<definedName");
        out.attribute("name", name.name);
        if (!name.comment.empty()) {
            out.attribute("comment", name.comment);
        }
        if (scope >= 0) {
            out.attribute("localSheetId", scope);
        }
        if (name.hidden) {
            out.raw(" hidden=\"1\"");
        }
        out.raw(">");
        out.text(formulaWithMissingBooksAsRef(
            formulaWithMissingSheetsAsRef(name.formula, sheetExists), bookCount));
        out.raw("</definedName>");
    };
    for (const DefinedName& name : workbook.definedNames()) {
        write(name, -1);
    }
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        for (const DefinedName& name : workbook.sheet(i).definedNames()) {
            write(name, i);
        }
    }
    if (opened) {
        out.raw("</definedNames>");
    }
}

}  // namespace plyfold::engine::xlsx
