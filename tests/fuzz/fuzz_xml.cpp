// Fuzz target for the XML parser and writer: any bytes parse into a tree whose links are
// consistent, whose attribute lookups agree with its attributes, and which writes and
// frees without trouble.
#include "data/xml.h"
#include "fuzz_check.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvane;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<XmlNode> root = ParseXml(text.c_str());
    FuzzCheck(root && !root->name && !root->parent && !root->next_sibling);

    std::vector<const XmlNode*> pending = {root.get()};
    while (!pending.empty()) {
        const XmlNode* node = pending.back();
        pending.pop_back();
        for (const auto& attribute : node->attributes) {
            const char* value = GetXmlAttribute(*node, attribute.name.c_str());
            // The first attribute of a name answers; its value is there once it was closed.
            for (const auto& first : node->attributes) {
                if (first.name != attribute.name)
                    continue;
                FuzzCheck(first.has_value ? value && first.value == value : !value);
                break;
            }
        }
        if (node->text) {
            std::string unescaped = *node->text;
            UnescapeXmlText(unescaped);
            FuzzCheck(unescaped.size() <= node->text->size());
        }
        for (const XmlNode* child = node->first_child.get(); child;
             child = child->next_sibling.get()) {
            FuzzCheck(child->parent == node);
            pending.push_back(child);
        }
    }

    if (auto written = WriteXml(*root)) {
        FuzzCheck(written->data[written->length] == '\0');
        ParseXml(written->data);
    }
    return 0;
}
