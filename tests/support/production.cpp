#include "support/production.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "data/compressed_document.h"
#include "data/package.h"
#include "mesh/mesh_file.h"

namespace korvane::test {

std::string BuildDocument(const DocumentSections& s) {
    std::ostringstream xml;
    xml << "<?xml version=\"1.0\"?>\n<production>\n";
    const std::pair<const char*, const std::string*> sections[] = {
        {"texture_operators", &s.texture_operators},
        {"textures", &s.textures},
        {"mesh_files", &s.mesh_files},
        {"curves", &s.curves},
        {"lights", &s.lights},
        {"effect_textures", &s.effect_textures},
        {"image_files", &s.image_files},
        {"cube_maps", &s.cube_maps},
        {"fonts", &s.fonts},
        {"texture_references", &s.texture_references},
        {"materials", &s.materials},
        {"dynamic_meshes", &s.dynamic_meshes},
        {"scenes", &s.scenes},
        {"tracks", &s.tracks},
    };
    for (const auto& [name, body] : sections) {
        if (body->empty())
            xml << "  <" << name << "/>\n";
        else
            xml << "  <" << name << ">" << *body << "</" << name << ">\n";
    }
    xml << "  <music " << s.music_attributes << "/>\n</production>\n";
    return xml.str();
}

std::string Repeat(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

std::string TrackXml(const std::string& layers) {
    return "<track>" + layers + "</track>";
}

std::string StaticValue(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "<v type=\"static\" value=\"%.9g\"/>",
                  static_cast<double>(value));
    return text;
}

std::string DynamicValue(uint32_t curve_handle) {
    return "<v type=\"dynamic\" value=\"" + std::to_string(curve_handle) + "\"/>";
}

std::string LayerXml(const LayerSpec& l) {
    std::ostringstream xml;
    xml << "<layer id=\"" << l.scene << "\" space_before=\"" << l.space_before << "\" length=\""
        << l.length << "\" offset=\"" << l.offset << "\" type=\"" << l.type << "\" rtex=\""
        << l.rtex << "\" clearcolor=\"" << l.clear_light << "\" clearcolorbuffer=\""
        << l.clear_color_buffer << "\" clearzbuffer=\"" << l.clear_z_buffer << "\">";
    if (l.camera.empty()) {
        for (int i = 0; i < 6; ++i)
            xml << StaticValue(0.0f);
        xml << StaticValue(60.0f) << StaticValue(100.0f) << StaticValue(1.7777778f);
    } else {
        xml << l.camera;
    }
    xml << "</layer>";
    return xml.str();
}

std::string EmptyScene() {
    return "<scene/>";
}

std::string StaticLight(float r, float g, float b) {
    std::ostringstream xml;
    xml << "<light><ambient>" << StaticValue(0) << StaticValue(0) << StaticValue(0)
        << "</ambient><diffuse>" << StaticValue(r) << StaticValue(g) << StaticValue(b)
        << "</diffuse><position>" << StaticValue(0) << StaticValue(0) << StaticValue(0)
        << "</position></light>";
    return xml.str();
}

std::vector<uint8_t> SquareMeshEntry() {
    MeshData mesh;
    mesh.vertex_count = 4;
    mesh.positions = {-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0};
    mesh.set_count = 1;
    mesh.texture_sets[0] = {0, 0, 1, 0, 1, 1, 0, 1};
    mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    mesh.indices = {0, 1, 2, 0, 2, 3};
    mesh.index_count = 6;
    const std::vector<uint8_t> layout = EncodeMeshFile(mesh);
    return CompressedDocumentBytes(std::string(layout.begin(), layout.end()));
}

std::vector<uint8_t> CompressedDocumentBytes(const std::string& xml) {
    std::vector<uint8_t> framed;
    std::string message;
    if (!CompressDocument(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), framed,
                          message))
        throw std::runtime_error("compressing a test document: " + message);
    return framed;
}

void WriteProductionPackage(const std::string& path, const std::string& demo_xml,
                            const std::string& loading_xml, const PackageEntries& extra) {
    PackageFileList list;
    AppendPackageFile(list, "demo.xmlz", std::nullopt).contents = CompressedDocumentBytes(demo_xml);
    if (!loading_xml.empty())
        AppendPackageFile(list, "loading.xmlz", std::nullopt).contents =
            CompressedDocumentBytes(loading_xml);
    for (const auto& [name, bytes] : extra)
        AppendPackageFile(list, name, std::nullopt).contents = bytes;
    PackageResult result = WritePackage(list, path, nullptr);
    if (!result.ok())
        throw std::runtime_error("writing a test package: " + result.message);
}

} // namespace korvane::test
