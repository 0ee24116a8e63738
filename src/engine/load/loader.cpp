#include "load/loader.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "data/compressed_document.h"
#include "draw/light.h"
#include "draw/material.h"
#include "draw/material_fixed.h"
#include "draw/scene.h"
#include "draw/shader_gen.h"
#include "draw/shader_program.h"
#include "frame/timeline.h"
#include "load/validation.h"
#include "mesh/dynamic_mesh.h"
#include "mesh/mesh_file.h"
#include "model/curve.h"
#include "model/project.h"
#include "texture/image_texture.h"
#include "texture/texture_graph.h"

namespace korvane {

namespace {

constexpr char kErrorPrefix[] = "Error: ";
constexpr char kDamagedPackage[] = "the package is damaged: ";
constexpr char kUnreadablePackage[] = "the package cannot be read.";

// The load percentage: items done against the items of the whole document. Every section
// counts towards the total, the music element's children too, although nothing reads them.
struct LoadProgress {
    const LoadOptions& options;
    uint64_t total = 0;
    uint64_t counter = 0;

    void Check() const {
        if (options.progress && total != 0)
            options.progress(static_cast<uint32_t>(counter * 100 / total));
    }
    void ItemDone() {
        ++counter;
        Check();
    }
};

// What every section's loader gets besides its section and the project. A loader that
// meets an item it cannot build (a mesh file the package holds damaged, say) records the
// line that names it and stops; the load ends there.
struct LoadContext {
    std::FILE* package;
    const char* document_name;
    const LoadOptions& options;
    LoadProgress& progress;
    std::string error;
    // The layers of the first section, held until the graph of the second is evaluated.
    GeneratorLayerList generator_layers = {};

    bool Failed() const { return !error.empty(); }
    void Fail(DocumentSection section, const char* kind, uint32_t index,
              const std::string& problem) {
        error = kErrorPrefix + std::string(document_name) + ": " + kSectionNames[section] + ", " +
                kind + " " + std::to_string(index) + ": " + problem + ".";
    }
};

template <typename Visit> void ForEachChild(const XmlNode& node, Visit visit) {
    for (const XmlNode* child = node.first_child.get(); child != nullptr;
         child = child->next_sibling.get())
        visit(*child);
}

// Builds each item of a section with a function that returns the problem of an item it
// cannot build (empty when it could), counting progress, and stops at the first problem.
template <typename BuildItem>
void LoadItems(const XmlNode& section, LoadContext& load, DocumentSection section_id,
               const char* kind, BuildItem build_item) {
    uint32_t index = 0;
    for (const XmlNode* element = section.first_child.get(); element != nullptr && !load.Failed();
         element = element->next_sibling.get()) {
        ++index;
        std::string problem = build_item(*element);
        if (!problem.empty())
            load.Fail(section_id, kind, index, problem);
        load.progress.ItemDone();
    }
}

// Sections 1 to 13, one function each, in document order. Sections whose items belong to
// subsystems still to come are walked and counted; their items are built where each says.

void LoadTextureOperators(const XmlNode& section, Project&, LoadContext& load) {
    // Each generator layer is generated as soon as it has been read, and held until the
    // textures section is done.
    ForEachChild(section, [&](const XmlNode& element) {
        LoadGeneratorLayer(element, load.generator_layers.layers.emplace_back());
        load.progress.ItemDone();
    });
}

void LoadProceduralTextures(const XmlNode& section, Project& project, LoadContext& load) {
    const TextureFormatTable& formats = GetTextureFormatTable();
    ForEachChild(section, [&](const XmlNode& element) {
        LoadProceduralTextureElement(element, project.textures, formats);
        load.progress.ItemDone();
    });
    // Once the last texture is read the graph is evaluated into the outputs' GL textures;
    // then the layers and the working images are let go.
    EvaluateTextureGraph(
        project.textures, load.generator_layers,
        [&](const ProceduralTexture& output) { UploadOutputTexture(output, formats); });
    ReleaseTextureGraphImages(project.textures, load.generator_layers);
}

void LoadMeshFiles(const XmlNode& section, Project& project, LoadContext& load) {
    // Buffer objects only where the caps allow them: never for the loading screen.
    const bool use_buffers = load.options.caps.vbo != 0;
    LoadItems(section, load, kMeshFilesSection, "mesh file", [&](const XmlNode& element) {
        return LoadMeshFileElement(element, project, load.package, use_buffers).error;
    });
}

void LoadCurves(const XmlNode& section, Project& project, LoadContext& load) {
    ForEachChild(section, [&](const XmlNode& element) {
        if (FunctionCurve* curve = PoolGet(project.curves, PoolAdd(project.curves)))
            LoadFunctionCurve(element, *curve);
        load.progress.ItemDone();
    });
}

void LoadLights(const XmlNode& section, Project& project, LoadContext& load) {
    ForEachChild(section, [&](const XmlNode& element) {
        if (Light* light = PoolGet(project.lights, PoolAdd(project.lights)))
            LoadLight(element, *light);
        load.progress.ItemDone();
    });
}

void LoadEffectTextures(const XmlNode& section, Project&, LoadContext& load) {
    // Each 2D-effect texture is made and rendered at time 0 here, through a pixel buffer
    // when load.options caps has pbo set.
    ForEachChild(section, [&](const XmlNode&) { load.progress.ItemDone(); });
}

void LoadImageFiles(const XmlNode& section, Project& project, LoadContext& load) {
    const TextureFormatTable& formats = GetTextureFormatTable();
    LoadItems(section, load, kImageFilesSection, "image file", [&](const XmlNode& element) {
        return LoadImageFileElement(element, project, load.package, formats);
    });
}

void LoadCubeMaps(const XmlNode& section, Project& project, LoadContext& load) {
    const TextureFormatTable& formats = GetTextureFormatTable();
    LoadItems(section, load, kCubeMapsSection, "cube map", [&](const XmlNode& element) {
        return LoadCubeMapElement(element, project, load.package, formats);
    });
}

void LoadFonts(const XmlNode& section, Project&, LoadContext& load) {
    // A font counts once, but once its glyph slots are read here the progress is checked
    // after each slot, and only the counter steps per font.
    ForEachChild(section, [&](const XmlNode&) { load.progress.ItemDone(); });
}

void LoadTextureReferences(const XmlNode& section, Project& project, LoadContext& load) {
    ForEachChild(section, [&](const XmlNode& element) {
        if (TextureRef* ref = PoolGet(project.texture_refs, PoolAdd(project.texture_refs)))
            LoadTextureRef(element, *ref);
        load.progress.ItemDone();
    });
}

void LoadMaterials(const XmlNode& section, Project& project, LoadContext& load) {
    const bool fixed_function = GetRendererFlag() == kRendererFixed;
    ProgramShareIndex programs; // materials whose generated texts are identical share one
    ForEachChild(section, [&](const XmlNode& element) {
        const uint16_t handle = PoolAdd(project.materials);
        if (Material* material = PoolGet(project.materials, handle)) {
            LoadMaterial(element, *material);
            // The fixed-function path plans its passes now; in shader mode the material's
            // program is generated (or shared) and built instead.
            if (fixed_function)
                PlanMaterialPasses(*material, load.options.caps);
            else
                PrepareMaterialProgram(project.materials, handle, project.lights,
                                       project.texture_refs, programs);
        }
        load.progress.ItemDone();
    });
}

void LoadDynamicMeshes(const XmlNode& section, Project& project, LoadContext& load) {
    LoadItems(section, load, kDynamicMeshesSection, "dynamic mesh",
              [&](const XmlNode& element) { return LoadDynamicMeshElement(element, project); });
}

void LoadScenes(const XmlNode& section, Project& project, LoadContext& load) {
    LoadItems(section, load, kScenesSection, "scene",
              [&](const XmlNode& element) { return LoadSceneElement(element, project); });
}

using SectionLoader = void (*)(const XmlNode&, Project&, LoadContext&);
constexpr SectionLoader kSectionLoaders[kTracksSection] = {
    LoadTextureOperators, LoadProceduralTextures, LoadMeshFiles, LoadCurves, LoadLights,
    LoadEffectTextures,   LoadImageFiles,         LoadCubeMaps,  LoadFonts,  LoadTextureReferences,
    LoadMaterials,        LoadDynamicMeshes,      LoadScenes,
};

// One camera child of a layer. Only the whole word "dynamic" makes a value a curve handle.
void LoadCameraValue(const XmlNode& element, uint32_t n, Layer& layer) {
    const char* type = GetXmlAttribute(element, "type");
    if (n == kLayerFieldOfView) {
        // The projection: animated, orthographic (no field of view is read) or static.
        if (type != nullptr && std::strcmp(type, "ortographic") == 0) {
            layer.projection = ProjectionKind::kOrthographic;
            return;
        }
        bool dynamic = false;
        layer.values[n] = LoadAnimatedValue(element, DynamicWords::kOnlyDynamic, dynamic);
        layer.projection =
            dynamic ? ProjectionKind::kAnimatedPerspective : ProjectionKind::kPerspective;
        return;
    }
    bool dynamic = false;
    layer.values[n] = LoadAnimatedValue(element, DynamicWords::kOnlyDynamic, dynamic);
    if (dynamic)
        layer.dynamic_bits |= kLayerDynamicBit[n];
}

void LoadLayer(const XmlNode& element, Layer& layer) {
    auto integer = [&](const char* name) {
        return ReadDocumentInteger(GetXmlAttribute(element, name));
    };
    layer.scene = static_cast<uint16_t>(integer("id"));
    layer.space_before = static_cast<int32_t>(integer("space_before"));
    layer.length = static_cast<int32_t>(integer("length"));
    layer.offset = static_cast<int32_t>(integer("offset"));
    layer.render_type = static_cast<RenderType>(static_cast<uint8_t>(integer("type")));
    switch (layer.render_type) {
    case RenderType::kRenderToTexture:
    case RenderType::kRenderToQuarterScreenTexture:
    case RenderType::kRenderToCubemap:
    case RenderType::kCubemapToTexture:
        layer.rtex = static_cast<uint16_t>(integer("rtex"));
        break;
    default:
        break;
    }
    layer.clear_light = static_cast<uint16_t>(integer("clearcolor"));
    layer.clear_flags = static_cast<uint8_t>((integer("clearcolorbuffer") & 1) |
                                             ((integer("clearzbuffer") & 1) << 1));
    uint32_t n = 0;
    for (const XmlNode* value = element.first_child.get();
         value != nullptr && n < layer.values.size(); value = value->next_sibling.get(), ++n)
        LoadCameraValue(*value, n, layer);
}

// Section 14: the timeline. Each layer starts where the one before it on its track ends.
void LoadTracks(const XmlNode& section, Project& project, LoadContext& load) {
    uint32_t track_number = 0;
    for (const XmlNode* track = section.first_child.get();
         track != nullptr && track_number < static_cast<uint32_t>(kTrackCount);
         track = track->next_sibling.get(), ++track_number) {
        SmallResourcePool<Layer>& layers = project.timeline.tracks[track_number].layers;
        uint32_t start = 0;
        uint32_t position = 0;
        for (const XmlNode* element = track->first_child.get(); element != nullptr;
             element = element->next_sibling.get(), ++position) {
            Layer* layer = PoolGet(layers, PoolAdd(layers));
            if (layer == nullptr)
                break;
            LoadLayer(*element, *layer);
            const uint32_t end = start + static_cast<uint32_t>(layer->space_before) +
                                 static_cast<uint32_t>(layer->length);
            AddLayerToTimeline(start, end, position, track_number, project.timeline);
            start = end;
        }
        load.progress.ItemDone();
    }
}

// Section 15: the music file and the demo time its music starts at.
void ReadMusic(const XmlNode& music, Project& project) {
    if (GetXmlAttribute(music, "file") != nullptr)
        project.music_offset =
            static_cast<uint32_t>(ReadDocumentInteger(GetXmlAttribute(music, "offset")));
}

LoadResult Failed(std::string error) {
    LoadResult result;
    result.status = LoadStatus::kFailed;
    result.error = std::move(error);
    return result;
}

// The document from the package, or the line saying why it cannot be had.
CompressedDocument FetchDocument(std::FILE* package, const char* document_name,
                                 std::string& error) {
    if (package == nullptr) {
        error = kErrorPrefix + std::string(document_name) + ": " + kUnreadablePackage;
        return CompressedDocument{DocumentStatus::kDamaged, nullptr, {}, {}};
    }
    CompressedDocument document = LoadCompressedDocument(package, document_name);
    if (document.status == DocumentStatus::kDamaged) {
        // Inflating names the entry itself; the package's own damage does not.
        const std::string named = std::string(document_name) + ": ";
        if (document.message.compare(0, named.size(), named) == 0)
            error = kErrorPrefix + document.message + ".";
        else
            error = kErrorPrefix + named + kDamagedPackage + document.message + ".";
    }
    // The tree holds its own copy of every text.
    std::string().swap(document.text);
    return document;
}

} // namespace

LoadResult LoadProjectDocument(Project& project, std::FILE* package, std::unique_ptr<XmlNode> root,
                               const char* document_name, const LoadOptions& options) {
    if (!root)
        root = std::make_unique<XmlNode>(); // no element at all: every section is missing
    std::vector<std::string> problems;
    if (!ValidateDocument(*root, document_name, options.read_music, problems))
        return Failed(problems.front());

    const DocumentOutline outline = OutlineDocument(*root);
    LoadProgress progress{options};
    for (const XmlNode* section = outline.top->first_child.get(); section != nullptr;
         section = section->next_sibling.get())
        progress.total += CountXmlChildren(*section);
    LoadContext load{package, document_name, options, progress, {}};

    for (int s = 0; s < kTracksSection; ++s) {
        kSectionLoaders[s](*outline.sections[s], project, load);
        if (load.Failed())
            return Failed(load.error);
    }
    LoadTracks(*outline.sections[kTracksSection], project, load);

    LoadResult result;
    result.status = LoadStatus::kLoaded;
    if (!options.read_music) {
        // Nothing after the tracks reads the document.
        FreeXmlTree(root);
        return result;
    }
    const XmlNode& music = *outline.sections[kMusicSection];
    ReadMusic(music, project);
    result.music = &music;
    result.root = std::move(root);
    return result;
}

void CheckProjectDocument(std::FILE* package, const char* document_name, bool read_music,
                          std::vector<std::string>& problems) {
    std::string error;
    CompressedDocument document = FetchDocument(package, document_name, error);
    if (document.status == DocumentStatus::kDamaged)
        problems.push_back(error);
    else if (document.status == DocumentStatus::kOk)
        ValidateDocument(*document.root, document_name, read_music, problems);
}

LoadResult LoadProject(Project& project, std::FILE* package, const char* document_name,
                       const LoadOptions& options) {
    std::string error;
    CompressedDocument document = FetchDocument(package, document_name, error);
    if (document.status == DocumentStatus::kAbsent)
        return LoadResult{};
    if (document.status == DocumentStatus::kDamaged)
        return Failed(error);
    return LoadProjectDocument(project, package, std::move(document.root), document_name, options);
}

} // namespace korvane
