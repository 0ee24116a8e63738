// Small productions built in code for tests: a project document assembled from readable
// section texts, and packages holding it compressed, as korpack build would make them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korvane::test {

// The fifteen sections of a project document, each as the text of its children. Every
// section is written, in order, so a test only fills what it is about.
struct DocumentSections {
    std::string texture_operators;
    std::string textures;
    std::string mesh_files;
    std::string curves;
    std::string lights;
    std::string effect_textures;
    std::string image_files;
    std::string cube_maps;
    std::string fonts;
    std::string texture_references;
    std::string materials;
    std::string dynamic_meshes;
    std::string scenes;
    std::string tracks = "<track/>";
    std::string music_attributes; // attributes of the music element, e.g. file="a.ogg"
};

std::string BuildDocument(const DocumentSections& sections);

// A curve without segments (it evaluates to 1 at every time), for documents that only
// need curves to exist.
inline constexpr char kFlatCurve[] =
    "<c type=\"0\" loop_type=\"0\" loop_begin=\"0\" loop_end=\"0\"/>";

// A text repeated, for sections of many alike items.
std::string Repeat(const std::string& text, int times);

// A track element holding the given layer elements.
std::string TrackXml(const std::string& layers);

// One camera value child: <v type="static" value="..."/> or type="dynamic".
std::string StaticValue(float value);
std::string DynamicValue(uint32_t curve_handle);

// A layer element with a static camera (position 0, no rotation, field of view 60,
// far 100, aspect 1.7777778) and clears by the flags given.
struct LayerSpec {
    uint32_t scene = 1;
    int32_t space_before = 0;
    int32_t length = 100;
    int32_t offset = 0;
    int type = 0;
    uint32_t rtex = 0;
    uint32_t clear_light = 0;
    int clear_color_buffer = 1;
    int clear_z_buffer = 1;
    std::string camera; // nine value children; empty: the static camera above
};
std::string LayerXml(const LayerSpec& layer);

// An empty scene element (a scene without objects).
std::string EmptyScene();

// A light element with static ambient, diffuse and position values.
std::string StaticLight(float r, float g, float b);

// A mesh-file entry: a unit square in the xy plane facing +z, texture coordinates from
// (0, 0) at its corner (-0.5, -0.5) to (1, 1).
std::vector<uint8_t> SquareMeshEntry();

using PackageEntries = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// Compresses a document text into the framing of "NAME.xmlz" entries.
std::vector<uint8_t> CompressedDocumentBytes(const std::string& xml);

// Writes a package holding "demo.xmlz" (and "loading.xmlz" when loading_xml is not empty)
// followed by the extra entries.
void WriteProductionPackage(const std::string& path, const std::string& demo_xml,
                            const std::string& loading_xml = "", const PackageEntries& extra = {});

} // namespace korvane::test
