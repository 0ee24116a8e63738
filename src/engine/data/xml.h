// The engine's XML document tree: a single-pass parser for the dialect the tools write
// (elements, double-quoted attributes, leaf text, comments, processing instructions), attribute
// lookup, the building operations and writer the tools use, and escaping of texts.
#pragma once

#include "data/text_buffer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct XmlAttribute {
    std::string name;
    std::string value;
    bool has_value = false; // false while the value's closing quote has not been read
};

// One element. A node owns its strings, its attributes, its first child and its next sibling,
// so a parent owns all of its children through the first child's sibling chain.
struct XmlNode {
    std::optional<std::string> name; // none for the root made by ParseXml and for "<>"
    std::vector<XmlAttribute> attributes;
    std::optional<std::string> text; // raw character data of a leaf element
    std::unique_ptr<XmlNode> next_sibling;
    std::unique_ptr<XmlNode> first_child;
    XmlNode* parent = nullptr;

    XmlNode() = default;
    ~XmlNode(); // frees children and siblings with a loop, never a deep recursion
    XmlNode(const XmlNode&) = delete;
    XmlNode& operator=(const XmlNode&) = delete;
};

// Parses a NUL-terminated text. Never fails: whatever the text holds, the result is an unnamed
// root whose first child is the document's top element. The text is copied from, so it may be
// freed as soon as this returns.
std::unique_ptr<XmlNode> ParseXml(const char* text);

// Reads a whole file and parses it; null when the file cannot be read.
std::unique_ptr<XmlNode> LoadXmlFile(const char* path);

// The value of the first attribute of that name (exact byte comparison), or null when there is
// none or its value was never closed. The node keeps ownership.
const char* GetXmlAttribute(const XmlNode& node, const char* name);

// Frees a node and all its descendants. The node's later siblings are not freed: node is left
// holding the first of them (null for a root).
void FreeXmlTree(std::unique_ptr<XmlNode>& node);

// Building documents (the tools).
std::unique_ptr<XmlNode> NewXmlNode(const char* name);
// Replaces the value of the first attribute of that name, or appends a new attribute.
void SetXmlAttribute(XmlNode& node, const char* name, const char* value);
void SetXmlAttributeUnsigned(XmlNode& node, const char* name, uint32_t value); // "%u"
void SetXmlAttributeInt(XmlNode& node, const char* name, int32_t value);       // "%d"
void SetXmlAttributeFloat(XmlNode& node, const char* name, float value);       // "%f"
// Appends a new element at the end of node's children and returns it (node keeps ownership).
XmlNode* AddXmlChild(XmlNode& node, const char* name);
void SetXmlText(XmlNode& node, const char* text);
void SetXmlTextFloat(XmlNode& node, float value);        // "%f"
void SetXmlTextFloatPrecise(XmlNode& node, float value); // "%.12f"
void SetXmlTextUnsigned(XmlNode& node, uint32_t value);  // "%u"

// Serialises node and its descendants (not its siblings), two blanks of indent per level,
// nothing escaped. The buffer starts at 16384 bytes and doubles as it fills. None when the text
// would not fit a TextBuffer (deep trees grow with the square of their depth).
std::optional<TextBuffer> WriteXml(const XmlNode& node);

// A copy in which every "<" is written "&lt;" and every ">" "&gt;"; nothing else changes.
std::string EscapeXmlText(const char* text);
// In place: "&lt;" becomes "<" and "&gt;" becomes ">"; every other byte, any other "&"
// sequence included, stays.
void UnescapeXmlText(char* text);
void UnescapeXmlText(std::string& text);

} // namespace korvane
