#include "data/xml.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace korvane {

namespace {

// Parser states, keeping their historical numbers (there is no state 4).
enum ParseState : int {
    kContent = 0,       // between tags
    kTagOpened = 1,     // just after "<", before the element name
    kElementName = 2,   // inside the element name
    kInTag = 3,         // inside a start tag, between attributes
    kAttributeName = 5, // inside an attribute name
    kBeforeValue = 6,   // after "=", waiting for the opening quote
    kValue = 7,         // inside a quoted attribute value
    kSkipToClose = 8,   // inside an end tag or a processing instruction
    kComment = 9,       // inside a comment
};

// The closing mark of the current element.
enum ClosingMark : int { kOpen = 0, kClosedByEndTag = 1, kClosedBySlash = 2 };

// The C locale's whitespace, without depending on the process locale.
constexpr bool IsBlank(unsigned char b) {
    return b == ' ' || (b >= '\t' && b <= '\r');
}

// For each state, the bytes that can do something in it; every other byte is skipped, so
// the parser runs through content, values and comments in a tight loop. The table follows the
// rules of ParseXml below: NUL, ">" and "/" matter everywhere but where noted.
struct StopBytes {
    bool table[10][256] = {};
    constexpr StopBytes() {
        for (int state = 0; state < 10; ++state) {
            bool* stops = table[state];
            stops[0] = stops[static_cast<unsigned char>('/')] = true;
            if (state != kContent && state != kComment)
                stops[static_cast<unsigned char>('>')] = true;
            for (int b = 1; b < 256; ++b) {
                bool blank = IsBlank(static_cast<unsigned char>(b));
                bool punctuation =
                    b == '<' || b == '=' || b == '"' || b == '-' || b == '>' || b == '/';
                if ((state == kTagOpened || state == kInTag) && !blank && !punctuation)
                    stops[b] = true; // a name starts
                if (state == kElementName && blank)
                    stops[b] = true; // the name ends
            }
        }
        table[kContent][static_cast<unsigned char>('<')] = true;
        table[kAttributeName][static_cast<unsigned char>('=')] = true;
        table[kBeforeValue][static_cast<unsigned char>('"')] = true;
        table[kValue][static_cast<unsigned char>('"')] = true;
        table[kComment][static_cast<unsigned char>('-')] = true;
    }
};
constexpr StopBytes kStops;

// Sizes an element's attribute array once: every attribute of a tag has its "=" before the
// first ">" after the "<" (a ">" always ends a tag), so counting them there is never too few.
// The hint is capped so that a run of "=" cannot ask for a large array.
void ReserveAttributes(XmlNode& node, const unsigned char* tag) {
    constexpr size_t kLargestHint = 64;
    size_t count = 0;
    for (const unsigned char* p = tag; *p && *p != '>'; ++p)
        count += *p == '=';
    if (count > 0)
        node.attributes.reserve(count < kLargestHint ? count : kLargestHint);
}

void FreeChain(XmlNode* node) {
    // Reads the tree as a binary tree (first child left, next sibling right) and rotates left
    // children up until a node has none, then frees it: linear time, constant stack.
    while (node) {
        if (node->first_child) {
            XmlNode* child = node->first_child.release();
            node->first_child.reset(child->next_sibling.release());
            child->next_sibling.reset(node);
            node = child;
        } else {
            XmlNode* next = node->next_sibling.release();
            delete node;
            node = next;
        }
    }
}

XmlAttribute* FindAttribute(XmlNode& node, const char* name) {
    for (auto& attribute : node.attributes)
        if (attribute.name == name)
            return &attribute;
    return nullptr;
}

// Visits node and its descendants in document order with an explicit stack, so that the depth
// of the tree never reaches the call stack. enter(node, depth) is called for every node; leave
// (node, depth) after the children of a node that has children and no text, which is what the
// writer writes.
template <typename Enter, typename Leave>
void WalkForWriting(const XmlNode& top, Enter enter, Leave leave) {
    std::vector<const XmlNode*> open;
    const XmlNode* node = &top;
    for (;;) {
        enter(*node, open.size());
        if (!node->text && node->first_child) {
            open.push_back(node);
            node = node->first_child.get();
            continue;
        }
        for (;;) {
            if (open.empty())
                return;
            if (node->next_sibling) {
                node = node->next_sibling.get();
                break;
            }
            node = open.back();
            open.pop_back();
            leave(*node, open.size());
        }
    }
}

size_t NameLength(const XmlNode& node) {
    return node.name ? node.name->size() : 0;
}

// Bytes written for a node's start (and its whole element when it has text or no children).
uint64_t StartSize(const XmlNode& node, size_t depth) {
    uint64_t size = 2 * uint64_t{depth} + 1 + NameLength(node);
    for (const auto& attribute : node.attributes)
        size += 1 + attribute.name.size() + 1 + 1 + attribute.value.size() + 1;
    if (node.text)
        size += 1 + node.text->size() + 2 + NameLength(node) + 2;
    else
        size += node.first_child ? 2 : 3;
    return size;
}

uint64_t EndSize(const XmlNode& node, size_t depth) {
    return 2 * uint64_t{depth} + 2 + NameLength(node) + 2;
}

void AppendIndent(TextBuffer& out, size_t depth) {
    static const char kBlanks[] =
        "                                                                ";
    size_t blanks = 2 * depth;
    while (blanks > 0) {
        size_t n = blanks < sizeof kBlanks - 1 ? blanks : sizeof kBlanks - 1;
        AppendText(out, std::string_view(kBlanks, n));
        blanks -= n;
    }
}

std::string_view NameOf(const XmlNode& node) {
    return node.name ? std::string_view(*node.name) : std::string_view();
}

// The largest "%f" or "%.12f" of a float: sign, 39 integer digits, point, 12 decimals.
constexpr size_t kNumberTextSize = 64;

} // namespace

XmlNode::~XmlNode() {
    FreeChain(first_child.release());
    FreeChain(next_sibling.release());
}

std::unique_ptr<XmlNode> ParseXml(const char* text) {
    auto root = std::make_unique<XmlNode>();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    XmlNode* current = root.get();
    int mark = kOpen;
    int state = kContent;
    size_t start = 0;
    size_t i = 0;
    auto token = [&](size_t end) { return std::string(text + start, end - start); };

    for (;;) {
        const bool* stops = kStops.table[state];
        while (!stops[bytes[i]])
            ++i;
        unsigned char b = bytes[i];
        switch (b) {
        case '\0':
            return root;
        case '>':
            if (state == kContent || state == kComment) {
                ++i;
                continue;
            }
            if (state == kElementName) {
                current->name = token(i);
                mark = kOpen;
            } else if (state != kSkipToClose) {
                mark = kOpen;
            }
            start = i + 1;
            state = kContent;
            ++i;
            continue;
        case '/':
            if (bytes[i + 1] == '>') {
                if (state == kElementName)
                    current->name = token(i);
                i += 2;
                start = i;
                // The root is never closed, so that later elements stay inside the document.
                if (current != root.get())
                    mark = kClosedBySlash;
                state = kContent;
                continue;
            }
            ++i;
            continue;
        case '<':
            if (state != kContent) {
                ++i;
                continue;
            }
            if (bytes[i + 1] == '/') {
                if (current != root.get()) {
                    if (mark != kOpen) {
                        // An end tag after the top element's own stays at the top level
                        // instead of climbing above the root.
                        if (current->parent != root.get())
                            current = current->parent;
                    } else if (i > start) {
                        current->text = token(i);
                    }
                    mark = kClosedByEndTag;
                }
                state = kSkipToClose;
            } else if (bytes[i + 1] == '?') {
                state = kSkipToClose;
            } else if (bytes[i + 1] == '!') {
                if (bytes[i + 2] == '-' && bytes[i + 3] == '-')
                    state = kComment;
            } else {
                auto node = std::make_unique<XmlNode>();
                XmlNode* created = node.get();
                if (mark != kOpen) {
                    created->parent = current->parent;
                    current->next_sibling = std::move(node);
                } else {
                    created->parent = current;
                    current->first_child = std::move(node);
                }
                current = created;
                ReserveAttributes(*created, bytes + i + 1);
                state = kTagOpened;
            }
            ++i;
            continue;
        case '=':
            if (state == kAttributeName) {
                current->attributes.push_back(
                    XmlAttribute{std::string(text + start, i - start), std::string(), false});
                state = kBeforeValue;
            }
            ++i;
            continue;
        case '"':
            if (state == kBeforeValue) {
                start = i + 1;
                state = kValue;
            } else if (state == kValue) {
                if (!current->attributes.empty()) {
                    XmlAttribute& last = current->attributes.back();
                    last.value = std::string(text + start, i - start);
                    last.has_value = true;
                }
                state = kInTag;
            }
            ++i;
            continue;
        case '-':
            if (state == kComment && bytes[i + 1] == '-' && bytes[i + 2] == '>') {
                i += 3;
                state = kContent;
                continue;
            }
            ++i;
            continue;
        default: {
            bool blank = IsBlank(b);
            if (blank && state == kElementName) {
                current->name = token(i);
                state = kInTag;
            } else if (!blank && state == kTagOpened) {
                start = i;
                state = kElementName;
            } else if (!blank && state == kInTag) {
                start = i;
                state = kAttributeName;
            }
            ++i;
            continue;
        }
        }
    }
}

std::unique_ptr<XmlNode> LoadXmlFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return nullptr;
    std::string text(std::istreambuf_iterator<char>(in), {});
    if (in.bad())
        return nullptr;
    return ParseXml(text.c_str());
}

const char* GetXmlAttribute(const XmlNode& node, const char* name) {
    for (const auto& attribute : node.attributes)
        if (attribute.name == name)
            return attribute.has_value ? attribute.value.c_str() : nullptr;
    return nullptr;
}

void FreeXmlTree(std::unique_ptr<XmlNode>& node) {
    if (!node)
        return;
    std::unique_ptr<XmlNode> siblings = std::move(node->next_sibling);
    node = std::move(siblings);
}

std::unique_ptr<XmlNode> NewXmlNode(const char* name) {
    auto node = std::make_unique<XmlNode>();
    node->name = name;
    return node;
}

void SetXmlAttribute(XmlNode& node, const char* name, const char* value) {
    if (XmlAttribute* attribute = FindAttribute(node, name)) {
        attribute->value = value;
        attribute->has_value = true;
        return;
    }
    node.attributes.push_back(XmlAttribute{name, value, true});
}

void SetXmlAttributeUnsigned(XmlNode& node, const char* name, uint32_t value) {
    char text[kNumberTextSize];
    std::snprintf(text, sizeof text, "%u", value);
    SetXmlAttribute(node, name, text);
}

void SetXmlAttributeInt(XmlNode& node, const char* name, int32_t value) {
    char text[kNumberTextSize];
    std::snprintf(text, sizeof text, "%d", value);
    SetXmlAttribute(node, name, text);
}

void SetXmlAttributeFloat(XmlNode& node, const char* name, float value) {
    char text[kNumberTextSize];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    SetXmlAttribute(node, name, text);
}

XmlNode* AddXmlChild(XmlNode& node, const char* name) {
    std::unique_ptr<XmlNode>* slot = &node.first_child;
    while (*slot)
        slot = &(*slot)->next_sibling;
    *slot = NewXmlNode(name);
    (*slot)->parent = &node;
    return slot->get();
}

void SetXmlText(XmlNode& node, const char* text) {
    node.text = text;
}

void SetXmlTextFloat(XmlNode& node, float value) {
    char text[kNumberTextSize];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    SetXmlText(node, text);
}

void SetXmlTextFloatPrecise(XmlNode& node, float value) {
    char text[kNumberTextSize];
    std::snprintf(text, sizeof text, "%.12f", static_cast<double>(value));
    SetXmlText(node, text);
}

void SetXmlTextUnsigned(XmlNode& node, uint32_t value) {
    char text[kNumberTextSize];
    std::snprintf(text, sizeof text, "%u", value);
    SetXmlText(node, text);
}

std::optional<TextBuffer> WriteXml(const XmlNode& node) {
    // Sized first, so that a tree whose text cannot fit is refused before gigabytes are
    // written: the capacity starts at 16384 and doubles, so 2^31 bytes is the most it holds.
    constexpr uint64_t kLargestText = (uint64_t{1} << 31) - 3;
    uint64_t total = 0;
    WalkForWriting(
        node, [&](const XmlNode& n, size_t depth) { total += StartSize(n, depth); },
        [&](const XmlNode& n, size_t depth) { total += EndSize(n, depth); });
    if (total > kLargestText)
        return std::nullopt;

    TextBuffer out(16384);
    WalkForWriting(
        node,
        [&](const XmlNode& n, size_t depth) {
            AppendIndent(out, depth);
            AppendText(out, "<");
            AppendText(out, NameOf(n));
            for (const auto& attribute : n.attributes) {
                AppendText(out, " ");
                AppendText(out, attribute.name);
                AppendText(out, "=\"");
                AppendText(out, attribute.value);
                AppendText(out, "\"");
            }
            if (n.text) {
                AppendText(out, ">");
                AppendText(out, *n.text);
                AppendText(out, "</");
                AppendText(out, NameOf(n));
                AppendText(out, ">\n");
            } else {
                AppendText(out, n.first_child ? ">\n" : "/>\n");
            }
        },
        [&](const XmlNode& n, size_t depth) {
            AppendIndent(out, depth);
            AppendText(out, "</");
            AppendText(out, NameOf(n));
            AppendText(out, ">\n");
        });
    return out;
}

std::string EscapeXmlText(const char* text) {
    std::string escaped;
    for (const char* p = text; *p; ++p) {
        if (*p == '<')
            escaped += "&lt;";
        else if (*p == '>')
            escaped += "&gt;";
        else
            escaped += *p;
    }
    return escaped;
}

void UnescapeXmlText(char* text) {
    char* out = text;
    const char* in = text;
    while (*in) {
        if (in[0] == '&' && (in[1] == 'l' || in[1] == 'g') && in[2] == 't' && in[3] == ';') {
            *out++ = in[1] == 'l' ? '<' : '>';
            in += 4;
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';
}

void UnescapeXmlText(std::string& text) {
    size_t out = 0;
    for (size_t in = 0; in < text.size();) {
        if (text.compare(in, 4, "&lt;") == 0 || text.compare(in, 4, "&gt;") == 0) {
            text[out++] = text[in + 1] == 'l' ? '<' : '>';
            in += 4;
        } else {
            text[out++] = text[in++];
        }
    }
    text.resize(out);
}

} // namespace korvane
