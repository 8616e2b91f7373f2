#include "tests/engine/xlsx_writer/package_inspection.h"

#include <expat.h>
#include <zip.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

namespace plyfold::test {

std::map<std::string, std::string> unzipAll(const std::string& archive) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(archive.data(), archive.size(), 0, &error);
    if (!source) {
        throw std::runtime_error("cannot make a zip source");
    }
    zip_t* zip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!zip) {
        std::string message = zip_error_strerror(&error);
        zip_source_free(source);
        zip_error_fini(&error);
        throw std::runtime_error("libzip rejects the archive: " + message);
    }
    std::unique_ptr<zip_t, int (*)(zip_t*)> guard(zip, zip_close);
    std::map<std::string, std::string> entries;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &stat) != 0) {
            throw std::runtime_error("cannot stat an entry");
        }
        zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
        if (!file) {
            throw std::runtime_error(std::string("cannot open entry ") + stat.name);
        }
        std::string bytes(stat.size, '\0');
        zip_int64_t got = zip_fread(file, bytes.data(), bytes.size());
        // Reading past the end checks the CRC.
        char extra;
        zip_int64_t more = zip_fread(file, &extra, 1);
        zip_fclose(file);
        if (got != static_cast<zip_int64_t>(bytes.size()) || more != 0) {
            throw std::runtime_error(std::string("cannot read entry ") + stat.name);
        }
        entries.emplace(stat.name, std::move(bytes));
    }
    return entries;
}

const std::string* XmlNode::attribute(std::string_view key) const {
    for (const auto& [k, v] : attributes) {
        if (k == key) {
            return &v;
        }
    }
    return nullptr;
}

void XmlNode::removeAttribute(std::string_view key) {
    std::erase_if(attributes, [key](const auto& a) { return a.first == key; });
}

const XmlNode* XmlNode::child(std::string_view childName) const {
    for (const XmlNode& c : children) {
        if (c.name == childName) {
            return &c;
        }
    }
    return nullptr;
}

XmlNode* XmlNode::child(std::string_view childName) {
    return const_cast<XmlNode*>(std::as_const(*this).child(childName));
}

void XmlNode::visit(const std::function<void(XmlNode&)>& fn) {
    fn(*this);
    for (XmlNode& c : children) {
        c.visit(fn);
    }
}

void XmlNode::removeWhere(const std::function<bool(const XmlNode&)>& predicate) {
    std::erase_if(children, predicate);
    for (XmlNode& c : children) {
        c.removeWhere(predicate);
    }
}

namespace {

struct ParseState {
    std::vector<XmlNode*> stack;
    XmlNode root;
    bool haveRoot = false;
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto& state = *static_cast<ParseState*>(data);
    XmlNode node;
    node.name = name;
    for (int i = 0; attributes[i]; i += 2) {
        node.attributes.emplace_back(attributes[i], attributes[i + 1]);
    }
    std::sort(node.attributes.begin(), node.attributes.end());
    if (state.stack.empty()) {
        state.root = std::move(node);
        state.haveRoot = true;
        state.stack.push_back(&state.root);
    } else {
        XmlNode* parent = state.stack.back();
        parent->children.push_back(std::move(node));
        state.stack.push_back(&parent->children.back());
    }
}

void XMLCALL onEnd(void* data, const XML_Char*) {
    auto& state = *static_cast<ParseState*>(data);
    XmlNode* node = state.stack.back();
    if (!node->children.empty() && node->text.find_first_not_of(" \t\r\n") == std::string::npos) {
        node->text.clear();
    }
    state.stack.pop_back();
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
    auto& state = *static_cast<ParseState*>(data);
    if (!state.stack.empty()) {
        state.stack.back()->text.append(text, static_cast<size_t>(length));
    }
}

void render(const XmlNode& node, int depth, std::string& out) {
    out.append(static_cast<size_t>(depth) * 2, ' ');
    out += node.name;
    for (const auto& [k, v] : node.attributes) {
        out.append(" ").append(k).append("=\"").append(v).append("\"");
    }
    if (!node.text.empty()) {
        out += " text=[" + node.text + "]";
    }
    out += '\n';
    for (const XmlNode& c : node.children) {
        render(c, depth + 1, out);
    }
}

}  // namespace

XmlNode parseXml(std::string_view xml) {
    ParseState state;
    std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate("UTF-8"),
                                                                   XML_ParserFree);
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
    if (XML_Parse(parser.get(), xml.data(), static_cast<int>(xml.size()), XML_TRUE) ==
            XML_STATUS_ERROR ||
        !state.haveRoot) {
        throw std::runtime_error(std::string("malformed XML: ") +
                                 XML_ErrorString(XML_GetErrorCode(parser.get())) + " at line " +
                                 std::to_string(XML_GetCurrentLineNumber(parser.get())));
    }
    return std::move(state.root);
}

std::string canonicalXml(const XmlNode& node) {
    std::string out;
    render(node, 0, out);
    return out;
}

}  // namespace plyfold::test
