// Apple XML property lists read with Expat into a small tree: dictionaries, arrays, strings,
// data (base64, decoded), integers and the rest as text. Used for the resource fork of disk
// images; callable from any thread.
#pragma once
#include <string>
#include <vector>

namespace vu {

struct PlistValue {
    enum Kind { Dict, Array, String, Data, Integer, Real, True, False, Date } kind = String;
    std::string text;  // String, Integer, Real, Date: the element's text; Data: the decoded bytes
    // Dict: keys[i] names items[i], in document order. Array: the items.
    std::vector<std::string> keys;
    std::vector<PlistValue> items;

    // The value of `key` in a dictionary, or null.
    const PlistValue* Find(const std::string& key) const;
};

// Parses a whole document; false with `error` ("line 3, column 7: mismatched tag") when it is
// not well-formed or not a property list. Nesting deeper than 64 levels is refused.
bool ParsePropertyList(const std::string& xml, PlistValue& root, std::string& error);

// Decodes base64, skipping white space; false on any other character outside the alphabet or
// misplaced padding.
bool DecodeBase64(const std::string& text, std::string& bytes);

}  // namespace vu
