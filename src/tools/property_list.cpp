// Property lists through Expat's callbacks; see property_list.h.
#include "tools/property_list.h"

#include <expat.h>

#include <algorithm>
#include <cstring>

namespace vu {

namespace {

constexpr size_t MaxDepth = 64;

struct Builder {
    PlistValue root;
    bool haveRoot = false;
    std::vector<PlistValue*> open;   // the containers and the value being read, innermost last
    std::vector<std::string> keyTexts;  // the key last read in each open container
    std::string text;
    bool inKey = false, inPlist = false, inLeaf = false;
    bool pendingKey = false;  // the innermost dictionary has read a key and waits for its value
    std::string error;
    XML_Parser parser = nullptr;

    void Fail(const std::string& why) {
        if (error.empty()) error = why;
        XML_StopParser(parser, XML_FALSE);
    }

    // A new value inside the innermost container (or as the root).
    PlistValue* Add(PlistValue::Kind kind) {
        PlistValue value;
        value.kind = kind;
        if (open.empty()) {
            if (haveRoot) return Fail("more than one top-level value"), nullptr;
            haveRoot = true;
            root = std::move(value);
            return &root;
        }
        PlistValue* parent = open.back();
        if (parent->kind == PlistValue::Dict) {
            if (!pendingKey) return Fail("a dictionary value without its key"), nullptr;
            parent->keys.push_back(std::move(keyTexts.back()));
            keyTexts.back().clear();
            pendingKey = false;
        } else if (parent->kind != PlistValue::Array) {
            return Fail("a value inside a value"), nullptr;
        }
        parent->items.push_back(std::move(value));
        return &parent->items.back();
    }

    void Start(const char* name) {
        if (inKey || inLeaf) return Fail(std::string("element <") + name + "> inside a text value");
        if (!inPlist) {
            if (std::strcmp(name, "plist") != 0) return Fail("the document is not a property list");
            inPlist = true;
            return;
        }
        if (open.size() >= MaxDepth) return Fail("nesting too deep");
        static const struct {
            const char* name;
            PlistValue::Kind kind;
        } leaves[] = {{"string", PlistValue::String}, {"data", PlistValue::Data},     {"integer", PlistValue::Integer},
                      {"real", PlistValue::Real},     {"true", PlistValue::True},     {"false", PlistValue::False},
                      {"date", PlistValue::Date}};
        text.clear();
        if (std::strcmp(name, "key") == 0) {
            if (open.empty() || open.back()->kind != PlistValue::Dict) return Fail("<key> outside a dictionary");
            if (pendingKey) return Fail("two keys in a row");
            inKey = true;
            return;
        }
        if (std::strcmp(name, "dict") == 0 || std::strcmp(name, "array") == 0) {
            PlistValue* value = Add(name[0] == 'd' ? PlistValue::Dict : PlistValue::Array);
            if (!value) return;
            open.push_back(value);
            keyTexts.emplace_back();
            return;
        }
        for (const auto& leaf : leaves)
            if (std::strcmp(name, leaf.name) == 0) {
                PlistValue* value = Add(leaf.kind);
                if (!value) return;
                open.push_back(value);
                keyTexts.emplace_back();
                inLeaf = true;
                return;
            }
        Fail(std::string("unknown element <") + name + ">");
    }

    void End(const char* name) {
        if (!error.empty()) return;
        if (inKey) {
            inKey = false;
            keyTexts.back() = text;
            pendingKey = true;
            return;
        }
        if (std::strcmp(name, "plist") == 0) return;
        if (open.empty()) return Fail("unbalanced elements");
        PlistValue* value = open.back();
        if (inLeaf) {
            inLeaf = false;
            if (value->kind == PlistValue::Data) {
                if (!DecodeBase64(text, value->text)) return Fail("a <data> element that is not base64");
            } else {
                value->text = text;
            }
        } else if (pendingKey) {
            return Fail("a key without its value");
        }
        open.pop_back();
        keyTexts.pop_back();
    }
};

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char**) { static_cast<Builder*>(data)->Start(name); }
void XMLCALL OnEnd(void* data, const XML_Char* name) { static_cast<Builder*>(data)->End(name); }
void XMLCALL OnText(void* data, const XML_Char* s, int length) {
    auto* b = static_cast<Builder*>(data);
    if (b->inKey || b->inLeaf) b->text.append(s, size_t(length));
}

int Base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

const PlistValue* PlistValue::Find(const std::string& key) const {
    if (kind != Dict) return nullptr;
    for (size_t i = 0; i < keys.size() && i < items.size(); ++i)
        if (keys[i] == key) return &items[i];
    return nullptr;
}

bool DecodeBase64(const std::string& text, std::string& bytes) {
    bytes.clear();
    bytes.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0, padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        int digit = Base64Digit(c);
        if (digit < 0 || padding) return false;
        bits = bits << 6 | uint32_t(digit);
        if (++count == 4) {
            bytes.push_back(char(bits >> 16));
            bytes.push_back(char(bits >> 8));
            bytes.push_back(char(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2 || (padding && count + padding != 4)) return false;
    if (count == 2) bytes.push_back(char(bits >> 4));
    if (count == 3) {
        bytes.push_back(char(bits >> 10));
        bytes.push_back(char(bits >> 2));
    }
    return true;
}

bool ParsePropertyList(const std::string& xml, PlistValue& root, std::string& error) {
    Builder builder;
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (!parser) return error = "out of memory", false;
    builder.parser = parser;
    XML_SetUserData(parser, &builder);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    bool ok = true;
    // Expat takes an int length: feed large documents in pieces.
    const size_t piece = 1 << 24;
    for (size_t at = 0; ok && at <= xml.size(); at += piece) {
        size_t length = std::min(piece, xml.size() - at);
        bool last = at + length == xml.size();
        if (XML_Parse(parser, xml.data() + at, int(length), last) == XML_STATUS_ERROR) {
            if (builder.error.empty())
                builder.error = "line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ", column " +
                                std::to_string(XML_GetCurrentColumnNumber(parser)) + ": " +
                                XML_ErrorString(XML_GetErrorCode(parser));
            ok = false;
        }
        if (last) break;
    }
    XML_ParserFree(parser);
    if (ok && !builder.haveRoot) builder.error = "the property list holds no value";
    if (!builder.error.empty()) return error = builder.error, false;
    root = std::move(builder.root);
    return true;
}

}  // namespace vu
