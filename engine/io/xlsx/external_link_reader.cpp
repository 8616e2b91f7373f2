#include "engine/io/xlsx/external_link_reader.h"

#include <filesystem>

#include "engine/io/xlsx/opc_package.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xlsx_read {
namespace {

// externalLink > externalBook > (sheetNames > sheetName, definedNames > definedName,
// sheetDataSet > sheetData > row > cell > v).
class ExternalLinkHandler : public XmlHandler {
public:
    ExternalLinkHandler(ExternalBook& book, MemoryAccount& account)
        : m_book(book), m_account(account) {}

    void startElement(std::string_view name, XmlAttributes attributes) override {
        if (name == "externalBook") {
            relationshipId = attributeOr(attributes, "id");
        } else if (name == "sheetName") {
            m_book.sheets.push_back(ExternalSheet{std::string(attributeOr(attributes, "val")), {}});
            decodeEscapes(m_book.sheets.back().name);
        } else if (name == "definedName") {
            ExternalName defined;
            defined.name = attributeOr(attributes, "name");
            std::string_view refersTo = attributeOr(attributes, "refersTo");
            if (!refersTo.empty() && refersTo.front() == '=') {
                refersTo.remove_prefix(1);
            }
            defined.formula = refersTo;
            uint32_t sheet = 0;
            if (parseIndex(attributeOr(attributes, "sheetId"), sheet) &&
                sheet < m_book.sheets.size()) {
                defined.sheet = static_cast<int32_t>(sheet);
            }
            if (!defined.name.empty()) {
                m_book.names.push_back(std::move(defined));
            }
        } else if (name == "sheetData") {
            uint32_t sheet = 0;
            m_sheet = parseIndex(attributeOr(attributes, "sheetId"), sheet) &&
                              sheet < m_book.sheets.size()
                          ? static_cast<int32_t>(sheet)
                          : -1;
        } else if (name == "cell") {
            m_cell.reset();
            if (auto ref = parseCellName(attributeOr(attributes, "r")); ref && m_sheet >= 0) {
                m_cell = *ref;
            }
            m_type = attributeOr(attributes, "t", "n");
            m_text.clear();
        } else if (name == "v") {
            m_inValue = true;
        }
    }

    void endElement(std::string_view name) override {
        if (name == "v") {
            m_inValue = false;
        } else if (name == "cell" && m_cell) {
            ExternalValue value;
            if (m_type == "str" || m_type == "s" || m_type == "inlineStr") {
                value.type = CellType::Text;
                value.text = m_text;
                decodeEscapes(value.text);
            } else if (m_type == "b") {
                value.type = CellType::Boolean;
                value.number = m_text == "1" || m_text == "true" ? 1.0 : 0.0;
            } else if (m_type == "e") {
                value.type = CellType::Error;
                if (!parseErrorText(m_text, value.error)) {
                    value.error = ErrorValue::NA;
                }
            } else if (parseNumber(m_text, value.number)) {
                value.type = CellType::Number;
            }
            if (value.type != CellType::Blank) {
                m_account.charge(96 + value.text.size());
                m_book.sheets[static_cast<size_t>(m_sheet)].cells[{m_cell->row, m_cell->column}] =
                    std::move(value);
            }
            m_cell.reset();
        }
    }

    void characters(std::string_view text) override {
        if (m_inValue && m_cell) {
            m_text += text;
        }
    }

    std::string relationshipId;

private:
    ExternalBook& m_book;
    MemoryAccount& m_account;
    int32_t m_sheet = -1;
    std::optional<CellRef> m_cell;
    std::string m_type;
    std::string m_text;
    bool m_inValue = false;
};

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

std::string externalLinkPath(std::string_view target, std::string_view sourceFile) {
    if (target.starts_with("file:///")) {
        std::string path = percentDecoded(target.substr(7));
        // "file:///C:/dir/..." names a drive, not a folder under the root.
        if (path.size() > 3 && path[2] == ':') {
            path.erase(0, 1);
        }
        return path;
    }
    if (target.empty() || target.find(':') != std::string_view::npos || target.front() == '/' ||
        target.front() == '\\') {
        return std::string(target);
    }
    const std::filesystem::path folder = std::filesystem::path(sourceFile).parent_path();
    std::error_code error;
    std::filesystem::path joined =
        std::filesystem::absolute(folder / percentDecoded(target), error).lexically_normal();
    return error ? std::string(target) : joined.string();
}

void readExternalLink(ZipPackage& package, const std::string& part, ExternalBook& book,
                      std::string_view sourceFile, MemoryAccount& account) {
    ExternalLinkHandler handler(book, account);
    AlternateContentFilter filter(handler);
    parsePart(package, part, filter, kMaxLargePartBytes, false);
    for (const Relationship& r : readRelationships(package, part)) {
        if (r.id == handler.relationshipId) {
            book.path = externalLinkPath(r.target, sourceFile);
        }
    }
}

}  // namespace plyfold::engine::xlsx_read
