#pragma once

#include <span>
#include <string_view>

namespace plyfold::engine::xlsx_read {

// An attribute as the XML parsers hand it over: its local name (the part after any prefix;
// empty for namespace declarations, so they never match) and its decoded value.
struct XmlAttribute {
    std::string_view name;
    std::string_view value;
};
using XmlAttributes = std::span<const XmlAttribute>;

// Receives the events of one XML document. Element names are local names: "x:c" and "c"
// are the same element, as files from different writers spell it either way. Text may come
// in several pieces. Handlers report bad content by throwing ReadFailure.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void startElement(std::string_view name, XmlAttributes attributes) = 0;
    virtual void endElement(std::string_view name) = 0;
    virtual void characters(std::string_view text) = 0;
};

// The part of a qualified name after its prefix.
inline std::string_view localName(std::string_view qualified) {
    // Names are short; a loop beats a call to memchr.
    for (size_t i = 0; i < qualified.size(); ++i) {
        if (qualified[i] == ':') {
            return qualified.substr(i + 1);
        }
    }
    return qualified;
}

// The local name of an attribute, or empty for a namespace declaration.
inline std::string_view attributeLocalName(std::string_view qualified) {
    if (qualified.size() >= 5 && qualified[0] == 'x' && qualified.starts_with("xmlns") &&
        (qualified.size() == 5 || qualified[5] == ':')) {
        return {};
    }
    return localName(qualified);
}

// The value of the attribute with this local name, or nullptr.
inline const std::string_view* findAttribute(XmlAttributes attributes, std::string_view name) {
    for (const XmlAttribute& a : attributes) {
        if (a.name == name) {
            return &a.value;
        }
    }
    return nullptr;
}

inline std::string_view attributeOr(XmlAttributes attributes, std::string_view name,
                                    std::string_view fallback = {}) {
    const std::string_view* value = findAttribute(attributes, name);
    return value ? *value : fallback;
}

}  // namespace plyfold::engine::xlsx_read
