// The XML tree over Expat; see xml_tree.h.
#include "net/xml_tree.h"

#include <expat.h>

#include <algorithm>
#include <limits>

namespace vu {

namespace {

// What the handlers share while Expat parses: the path of open elements, each pointing into its
// parent's children. A parent gains a child only while it is the innermost open element, so the
// pointers below it stay valid.
struct Builder {
    XML_Parser parser = nullptr;
    XmlElement root;
    std::vector<XmlElement*> open;
    bool tooDeep = false;
};

void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* b = static_cast<Builder*>(data);
    if (int(b->open.size()) >= XmlMaxDepth) {
        b->tooDeep = true;
        XML_StopParser(b->parser, XML_FALSE);
        return;
    }
    XmlElement* element;
    if (b->open.empty()) {
        element = &b->root;
    } else {
        b->open.back()->children.emplace_back();
        element = &b->open.back()->children.back();
    }
    element->name = name;
    for (const XML_Char** a = attributes; a[0] && a[1]; a += 2) element->attributes.emplace_back(a[0], a[1]);
    b->open.push_back(element);
}

void OnEnd(void* data, const XML_Char*) {
    auto* b = static_cast<Builder*>(data);
    if (!b->open.empty()) b->open.pop_back();
}

void OnText(void* data, const XML_Char* text, int length) {
    auto* b = static_cast<Builder*>(data);
    if (!b->open.empty()) b->open.back()->text.append(text, size_t(length));
}

}  // namespace

const std::string* XmlElement::Attribute(const std::string& attribute) const {
    for (const auto& [name, value] : attributes)
        if (name == attribute) return &value;
    return nullptr;
}

XmlDocument ParseXml(std::string_view bytes) {
    XmlDocument document;
    if (bytes.empty()) return document;
    Builder b;
    b.parser = XML_ParserCreate(nullptr);
    if (!b.parser) return document;
    XML_SetUserData(b.parser, &b);
    XML_SetElementHandler(b.parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(b.parser, OnText);

    // Expat takes an int length: large bodies go in pieces.
    constexpr size_t Piece = size_t(std::numeric_limits<int>::max() / 2);
    XML_Status status = XML_STATUS_OK;
    for (size_t at = 0; status == XML_STATUS_OK;) {
        size_t n = std::min(Piece, bytes.size() - at);
        bool last = at + n == bytes.size();
        status = XML_Parse(b.parser, bytes.data() + at, int(n), last);
        at += n;
        if (last) break;
    }
    if (status == XML_STATUS_OK) {
        document.outcome = XmlDocument::Parsed;
        document.root = std::move(b.root);
    } else {
        document.outcome = XmlDocument::Malformed;
        document.error.message = b.tooDeep ? "elements nested more than " + std::to_string(XmlMaxDepth) + " deep"
                                           : XML_ErrorString(XML_GetErrorCode(b.parser));
        document.error.line = int64_t(XML_GetCurrentLineNumber(b.parser));
        document.error.column = int64_t(XML_GetCurrentColumnNumber(b.parser)) + 1;
    }
    XML_ParserFree(b.parser);
    return document;
}

std::string XmlErrorText(const XmlParseError& error) {
    return "Error in the XML file:\rMessage: " + error.message + "\rLine: " + std::to_string(error.line) +
           "   Character: " + std::to_string(error.column);
}

}  // namespace vu
