// A small XML tree over Expat: a document parsed from memory into elements with their attributes,
// their own text and their children, for the walks over Apple's software-update catalogs, package
// metadata and distribution files. Plain values: any thread may parse and walk its own documents.
//
// The input comes from the network. Expat resolves no external entities and limits entity
// expansion itself; the tree refuses nesting deeper than XmlMaxDepth, so that the recursive walks
// over it stay shallow.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vu {

constexpr int XmlMaxDepth = 256;

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // in document order
    std::string text;                  // the character data directly inside, not the children's
    std::vector<XmlElement> children;  // child elements in document order

    // The value of the attribute `attribute`; nullptr when the element has none.
    const std::string* Attribute(const std::string& attribute) const;
};

struct XmlParseError {
    std::string message;  // Expat's text ("mismatched tag")
    int64_t line = 0;     // from 1
    int64_t column = 0;   // from 1
};

struct XmlDocument {
    enum Outcome {
        Parsed,      // root holds the document element
        NoDocument,  // nothing to parse (an empty body)
        Malformed,   // error says where parsing stopped
    } outcome = NoDocument;
    XmlElement root;
    XmlParseError error;
};

XmlDocument ParseXml(std::string_view bytes);

// The text of the box that reports a malformed document: "Error in the XML file:", the message,
// the line and the column, on three lines.
std::string XmlErrorText(const XmlParseError& error);

}  // namespace vu
