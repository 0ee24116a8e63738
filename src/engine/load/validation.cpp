#include "load/validation.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "data/xml.h"
#include "draw/light.h"
#include "draw/material.h"
#include "draw/scene.h"
#include "frame/timeline.h"
#include "mesh/dynamic_mesh.h"
#include "mesh/mesh_file.h"
#include "model/curve.h"
#include "model/document.h"
#include "model/pool.h"
#include "model/project.h"
#include "texture/image_texture.h"
#include "texture/texture_graph.h"

namespace korvane {

namespace {

// The problems, each completed by the place it was found in.
constexpr char kMissingSection[] = "the section is missing (the document has %u sections)";
constexpr char kTooFew[] = "the %s has %u %s, %u expected";
constexpr char kNoTrack[] = "the section has no track";
constexpr char kNegativeSpan[] =
    "space_before + length is %lld, so the layer would end before it starts";
constexpr char kTooLong[] = "the layer ends at %llu hundredths of a second, after the longest "
                            "production the player takes (%u)";

constexpr uint32_t kLargePoolCapacity = LargePoolShape::kCapacity;
constexpr uint32_t kLayerCapacity = SmallPoolShape::kCapacity;
constexpr uint32_t kCameraValues = 9;

// The camera values of a layer, as problem lines name them, in the order of its children.
constexpr std::array<const char*, kCameraValues> kCameraValueNames = {
    "camera position x", "camera position y", "camera position z",
    "camera rotation x", "camera rotation y", "camera rotation z",
    "camera projection", "camera far plane",  "camera aspect ratio",
};
constexpr uint32_t kCameraProjection = 6;

constexpr std::array<const char*, kLightParts> kLightPartNames = {"ambient colour",
                                                                  "diffuse colour", "position"};

// "curve 3": an item of a section, numbered from 1 in document order.
std::string Item(const std::string& where, const char* kind, uint32_t index) {
    return where + ", " + kind + " " + std::to_string(index + 1);
}

struct Checker {
    const char* document;
    std::vector<std::string>& problems;
    const DocumentOutline* outline = nullptr; // the sections, for checks that look across them
    // The number of items of each section: the handles that name them run from 1 to it.
    std::array<uint32_t, kDocumentSectionCount> counts{};

    uint32_t Count(DocumentSection section) const { return counts[section]; }

    void Report(const std::string& where, const std::string& problem) {
        problems.push_back("Error: " + std::string(document) + ": " + where + ": " + problem + ".");
    }

    // The attribute's text, or none after reporting that it is missing.
    const char* Require(const std::string& where, const XmlNode& node, const char* name) {
        const char* value = GetXmlAttribute(node, name);
        if (value == nullptr)
            Report(where, FormatProblem(kMissingAttribute, name));
        return value;
    }

    // A handle of an item of an earlier section: 1 to the number of items, or 0 where a
    // reference may be absent. Handles are compared as read, before they are narrowed to the
    // width of their field, so that a large number cannot wrap onto an existing item.
    void CheckHandle(const std::string& where, const char* text, const char* kind,
                     DocumentSection section, bool zero_is_none) {
        if (text == nullptr)
            return;
        const long handle = ReadDocumentInteger(text);
        if (handle == 0 && zero_is_none)
            return;
        if (handle < 1 || static_cast<unsigned long>(handle) > Count(section))
            Report(where, FormatProblem(kNamesNothing, kind, handle));
    }

    // An animated value element: its type word, and its value unless the word says none is
    // read; a dynamic value names a curve (there is no "none" for it).
    void CheckAnimatedValue(const std::string& where, const XmlNode& element, DynamicWords rule,
                            bool value_read = true) {
        const char* type = Require(where, element, "type");
        if (type == nullptr || !value_read)
            return;
        const char* value = Require(where, element, "value");
        if (IsDynamicWord(type, rule))
            CheckHandle(where, value, "curve", kCurvesSection, false);
    }
};

// Sections whose items come with later subsystems: their loaders bring their checks here.

// The layers are not kept in a pool, so their check counts them against their capacity.
void CheckTextureOperators(Checker& checker, const XmlNode& section) {
    const std::string section_name = kSectionNames[kTextureOperatorsSection];
    const uint32_t layers = checker.Count(kTextureOperatorsSection);
    if (layers > kMaxGeneratorLayers)
        checker.Report(section_name, FormatProblem(kTooMany, "section", layers, "items",
                                                   static_cast<unsigned>(kMaxGeneratorLayers)));
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get(), ++index)
        for (const std::string& problem : ValidateGeneratorLayerElement(*element))
            checker.Report(Item(section_name, "texture operator", index), problem);
}
void CheckTextures(Checker& checker, const XmlNode& section) {
    const std::string section_name = kSectionNames[kTexturesSection];
    for (const TextureGraphProblem& problem :
         ValidateTextureGraph(section, checker.Count(kTextureOperatorsSection)))
        checker.Report(problem.texture == 0 ? section_name
                                            : Item(section_name, "texture", problem.texture - 1),
                       problem.problem);
}
void CheckMeshFiles(Checker& checker, const XmlNode& section) {
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get()) {
        ++index;
        std::string problem = ValidateMeshFileElement(*element);
        if (!problem.empty())
            checker.Report(Item(kSectionNames[kMeshFilesSection], "mesh file", index), problem);
    }
}
void CheckEffectTextures(Checker&, const XmlNode&) {}
void CheckImageFiles(Checker& checker, const XmlNode& section) {
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get(), ++index)
        for (const std::string& problem : ValidateImageFileElement(*element))
            checker.Report(Item(kSectionNames[kImageFilesSection], "image file", index), problem);
}
void CheckCubeMaps(Checker& checker, const XmlNode& section) {
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get(), ++index)
        for (const std::string& problem : ValidateCubeMapElement(*element))
            checker.Report(Item(kSectionNames[kCubeMapsSection], "cube map", index), problem);
}
void CheckFonts(Checker&, const XmlNode&) {}
void CheckTextureReferences(Checker& checker, const XmlNode& section) {
    TextureRefTargets targets;
    targets.procedural_textures = checker.Count(kTexturesSection);
    for (const XmlNode* texture = checker.outline->sections[kTexturesSection]->first_child.get();
         texture != nullptr; texture = texture->next_sibling.get())
        targets.procedural_operations.push_back(
            static_cast<uint8_t>(ReadDocumentInteger(GetXmlAttribute(*texture, "type"))));
    targets.image_files = checker.Count(kImageFilesSection);
    targets.effect_textures = checker.Count(kEffectTexturesSection);
    targets.cube_maps = checker.Count(kCubeMapsSection);
    const std::string section_name = kSectionNames[kTextureReferencesSection];
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get(), ++index)
        for (const std::string& problem : ValidateTextureRefElement(*element, targets))
            checker.Report(Item(section_name, "texture reference", index), problem);
}
void CheckMaterials(Checker& checker, const XmlNode& section) {
    MaterialReferences references;
    references.curves = checker.Count(kCurvesSection);
    references.lights = checker.Count(kLightsSection);
    references.texture_refs = checker.Count(kTextureReferencesSection);
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get(), ++index)
        for (const std::string& problem : ValidateMaterialElement(*element, references))
            checker.Report(Item(kSectionNames[kMaterialsSection], "material", index), problem);
}
void CheckDynamicMeshes(Checker& checker, const XmlNode& section) {
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get()) {
        ++index;
        std::string problem = ValidateDynamicMeshElement(*element, checker.Count(kCurvesSection));
        if (!problem.empty())
            checker.Report(Item(kSectionNames[kDynamicMeshesSection], "dynamic mesh", index),
                           problem);
    }
}

void CheckScenes(Checker& checker, const XmlNode& section) {
    SceneReferences references;
    references.curves = checker.Count(kCurvesSection);
    references.materials = checker.Count(kMaterialsSection);
    references.mesh_files = checker.Count(kMeshFilesSection);
    references.dynamic_meshes = checker.Count(kDynamicMeshesSection);
    references.fonts = checker.Count(kFontsSection);
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr;
         element = element->next_sibling.get(), ++index)
        for (const std::string& problem : ValidateSceneElement(*element, references))
            checker.Report(Item(kSectionNames[kScenesSection], "scene", index), problem);
}

void CheckCurves(Checker& checker, const XmlNode& section) {
    const std::string section_name = kSectionNames[kCurvesSection];
    uint32_t index = 0;
    for (const XmlNode* curve = section.first_child.get(); curve != nullptr;
         curve = curve->next_sibling.get(), ++index) {
        const std::string where = Item(section_name, "curve", index);
        for (const char* name : {"type", "loop_type", "loop_begin", "loop_end"})
            checker.Require(where, *curve, name);
        const uint32_t segments = CountXmlChildren(*curve);
        if (segments > kMaxCurveSegments)
            checker.Report(where, FormatProblem(kTooMany, "curve", segments, "segments",
                                                static_cast<unsigned>(kMaxCurveSegments)));
        uint32_t segment_index = 0;
        for (const XmlNode* segment = curve->first_child.get(); segment != nullptr;
             segment = segment->next_sibling.get(), ++segment_index) {
            const std::string segment_where = Item(where, "segment", segment_index);
            checker.Require(segment_where, *segment, "type");
            checker.Require(segment_where, *segment, "length");
            const uint32_t parameters = CountXmlChildren(*segment);
            if (parameters > kCurveSegmentParameters)
                checker.Report(segment_where,
                               FormatProblem(kTooMany, "segment", parameters, "parameters",
                                             static_cast<unsigned>(kCurveSegmentParameters)));
        }
    }
}

void CheckLights(Checker& checker, const XmlNode& section) {
    const std::string section_name = kSectionNames[kLightsSection];
    uint32_t index = 0;
    for (const XmlNode* light = section.first_child.get(); light != nullptr;
         light = light->next_sibling.get(), ++index) {
        const std::string where = Item(section_name, "light", index);
        const uint32_t parts = CountXmlChildren(*light);
        if (parts < kLightParts)
            checker.Report(where, FormatProblem(kTooFew, "light", parts, "parts",
                                                static_cast<unsigned>(kLightParts)));
        const XmlNode* part = light->first_child.get();
        for (int p = 0; p < kLightParts && part != nullptr; ++p, part = part->next_sibling.get()) {
            const std::string part_where = where + ", " + kLightPartNames[p];
            const uint32_t values = CountXmlChildren(*part);
            if (values < kLightPartValues)
                checker.Report(where, FormatProblem(kTooFew, kLightPartNames[p], values, "values",
                                                    static_cast<unsigned>(kLightPartValues)));
            const XmlNode* value = part->first_child.get();
            for (int v = 0; v < kLightPartValues && value != nullptr;
                 ++v, value = value->next_sibling.get())
                checker.CheckAnimatedValue(Item(part_where, "value", v), *value,
                                           DynamicWords::kOnlyDynamic);
        }
    }
}

// Where a track's next layer starts: the sum of space_before + length of the layers before
// it. Once a layer breaks the track's time line, the layers after it are not measured
// against a start that means nothing.
struct TrackTime {
    int64_t start = 0;
    bool measured = true;
};

void CheckLayer(Checker& checker, const std::string& where, const XmlNode& layer, TrackTime& time) {
    const char* id = checker.Require(where, layer, "id");
    const char* space_before = checker.Require(where, layer, "space_before");
    const char* length = checker.Require(where, layer, "length");
    checker.Require(where, layer, "offset");
    const char* type = checker.Require(where, layer, "type");
    const char* clear_light = checker.Require(where, layer, "clearcolor");
    checker.Require(where, layer, "clearcolorbuffer");
    checker.Require(where, layer, "clearzbuffer");

    checker.CheckHandle(where, id, "scene", kScenesSection, true);
    checker.CheckHandle(where, clear_light, "light", kLightsSection, true);
    if (type != nullptr) {
        // The loader keeps the type in a byte and reads rtex only for the four target types.
        const auto render_type =
            static_cast<RenderType>(static_cast<uint8_t>(ReadDocumentInteger(type)));
        switch (render_type) {
        case RenderType::kRenderToTexture:
        case RenderType::kRenderToQuarterScreenTexture:
        case RenderType::kCubemapToTexture:
            checker.CheckHandle(where, checker.Require(where, layer, "rtex"), "image file",
                                kImageFilesSection, true);
            break;
        case RenderType::kRenderToCubemap:
            checker.CheckHandle(where, checker.Require(where, layer, "rtex"), "cube map",
                                kCubeMapsSection, true);
            break;
        default:
            break;
        }
    }

    const uint32_t values = CountXmlChildren(layer);
    if (values != kCameraValues) {
        checker.Report(where, FormatProblem(kTooFew, "camera", values, "values", kCameraValues));
    } else {
        uint32_t n = 0;
        for (const XmlNode* value = layer.first_child.get(); value != nullptr;
             value = value->next_sibling.get(), ++n) {
            // An orthographic projection has no field of view to read.
            const char* word = GetXmlAttribute(*value, "type");
            const bool value_read =
                n != kCameraProjection || word == nullptr || std::strcmp(word, "ortographic") != 0;
            checker.CheckAnimatedValue(where + ", " + kCameraValueNames[n], *value,
                                       DynamicWords::kOnlyDynamic, value_read);
        }
    }

    if (!time.measured)
        return;
    if (space_before == nullptr || length == nullptr) {
        time.measured = false;
        return;
    }
    // Both are kept as 32-bit integers; their sum may not fit one.
    const int64_t span = int64_t{static_cast<int32_t>(ReadDocumentInteger(space_before))} +
                         static_cast<int32_t>(ReadDocumentInteger(length));
    if (span < 0) {
        checker.Report(where, FormatProblem(kNegativeSpan, static_cast<long long>(span)));
        time.measured = false;
        return;
    }
    const int64_t end = time.start + span;
    if (end > int64_t{kLongestProduction}) {
        checker.Report(where, FormatProblem(kTooLong, static_cast<unsigned long long>(end),
                                            static_cast<unsigned>(kLongestProduction)));
        time.measured = false;
        return;
    }
    time.start = end;
}

void CheckTracks(Checker& checker, const XmlNode& section) {
    const std::string section_name = kSectionNames[kTracksSection];
    if (section.first_child == nullptr) {
        checker.Report(section_name, kNoTrack);
        return;
    }
    // Tracks past the last one the timeline has are not read, so they are not checked.
    uint32_t index = 0;
    for (const XmlNode* track = section.first_child.get();
         track != nullptr && index < static_cast<uint32_t>(kTrackCount);
         track = track->next_sibling.get(), ++index) {
        const std::string where = Item(section_name, "track", index);
        const uint32_t layers = CountXmlChildren(*track);
        if (layers > kLayerCapacity) {
            checker.Report(where,
                           FormatProblem(kTooMany, "track", layers, "layers", kLayerCapacity));
            continue;
        }
        TrackTime time;
        uint32_t layer_index = 0;
        for (const XmlNode* layer = track->first_child.get(); layer != nullptr;
             layer = layer->next_sibling.get(), ++layer_index)
            CheckLayer(checker, Item(where, "layer", layer_index), *layer, time);
    }
}

void CheckMusic(Checker& checker, const XmlNode& section) {
    // The offset is read only for a music file.
    if (GetXmlAttribute(section, "file") != nullptr)
        checker.Require(kSectionNames[kMusicSection], section, "offset");
}

using SectionCheck = void (*)(Checker&, const XmlNode&);

// Per section, in document order: its check, and the capacity of the pool its items go to
// (0: the items are not kept in a project pool, or the check counts them itself).
struct SectionRule {
    SectionCheck check;
    uint32_t capacity;
};
constexpr std::array<SectionRule, kDocumentSectionCount> kSectionRules = {{
    {CheckTextureOperators, 0},
    {CheckTextures, kLargePoolCapacity},
    {CheckMeshFiles, kLargePoolCapacity},
    {CheckCurves, kLargePoolCapacity},
    {CheckLights, kLargePoolCapacity},
    {CheckEffectTextures, kLargePoolCapacity},
    {CheckImageFiles, kLargePoolCapacity},
    {CheckCubeMaps, kLargePoolCapacity},
    {CheckFonts, kLargePoolCapacity},
    {CheckTextureReferences, kLargePoolCapacity},
    {CheckMaterials, kLargePoolCapacity},
    {CheckDynamicMeshes, kLargePoolCapacity},
    {CheckScenes, kLargePoolCapacity},
    {CheckTracks, 0},
    {CheckMusic, 0},
}};

} // namespace

uint32_t CountXmlChildren(const XmlNode& node) {
    uint32_t count = 0;
    for (const XmlNode* child = node.first_child.get(); child != nullptr;
         child = child->next_sibling.get())
        ++count;
    return count;
}

DocumentOutline OutlineDocument(const XmlNode& root) {
    DocumentOutline outline;
    outline.top = root.first_child.get();
    if (outline.top == nullptr)
        return outline;
    for (const XmlNode* section = outline.top->first_child.get(); section != nullptr;
         section = section->next_sibling.get()) {
        if (outline.section_count < kDocumentSectionCount)
            outline.sections[outline.section_count] = section;
        ++outline.section_count;
    }
    return outline;
}

bool ValidateDocument(const XmlNode& root, const char* document_name, bool read_music,
                      std::vector<std::string>& problems) {
    const size_t problems_before = problems.size();
    const DocumentOutline outline = OutlineDocument(root);
    Checker checker{document_name, problems, &outline};
    for (uint32_t s = 0; s < kDocumentSectionCount; ++s)
        if (outline.sections[s] != nullptr)
            checker.counts[s] = CountXmlChildren(*outline.sections[s]);
    const uint32_t required = read_music ? kDocumentSectionCount : kBuildSectionCount;
    if (outline.section_count < required) {
        checker.Report(kSectionNames[outline.section_count],
                       FormatProblem(kMissingSection, outline.section_count));
        return false;
    }
    for (uint32_t s = 0; s < required; ++s) {
        const XmlNode& section = *outline.sections[s];
        const SectionRule& rule = kSectionRules[s];
        const uint32_t items = checker.counts[s];
        if (rule.capacity != 0 && items > rule.capacity)
            checker.Report(kSectionNames[s],
                           FormatProblem(kTooMany, "section", items, "items", rule.capacity));
        rule.check(checker, section);
    }
    return problems.size() == problems_before;
}

} // namespace korvane
