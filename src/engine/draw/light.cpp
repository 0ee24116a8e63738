#include "draw/light.h"

#include "data/xml.h"

namespace korvane {

void LoadLight(const XmlNode& element, Light& light) {
    light = Light{};
    const XmlNode* part = element.first_child.get();
    for (int p = 0; p < kLightParts && part != nullptr; ++p, part = part->next_sibling.get()) {
        const XmlNode* value = part->first_child.get();
        for (int v = 0; v < kLightPartValues && value != nullptr;
             ++v, value = value->next_sibling.get()) {
            const int n = p * kLightPartValues + v;
            bool dynamic = false;
            light.values[n] = LoadAnimatedValue(*value, DynamicWords::kOnlyDynamic, dynamic);
            if (dynamic)
                light.dynamic_bits |= static_cast<uint16_t>(1u << n);
        }
    }
}

} // namespace korvane
