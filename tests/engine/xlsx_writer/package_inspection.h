#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::test {

// The entries of a zip archive by name, read with libzip; throws when libzip rejects the
// archive or an entry.
std::map<std::string, std::string> unzipAll(const std::string& archive);

// An XML element with its attributes sorted by name, its child elements in order and the
// text it holds directly (white space between child elements dropped).
struct XmlNode {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<XmlNode> children;
    std::string text;

    const std::string* attribute(std::string_view key) const;
    void removeAttribute(std::string_view key);
    // The first child of that name, or nullptr.
    const XmlNode* child(std::string_view childName) const;
    XmlNode* child(std::string_view childName);
    // Calls fn on this node and every node below it, parents first.
    void visit(const std::function<void(XmlNode&)>& fn);
    // Removes every descendant for which predicate holds.
    void removeWhere(const std::function<bool(const XmlNode&)>& predicate);
};

// Parses with expat; throws on malformed XML.
XmlNode parseXml(std::string_view xml);

// One line per element, indented by depth, attributes in name order: a form two trees can
// be compared by, with readable differences.
std::string canonicalXml(const XmlNode& node);

}  // namespace plyfold::test
