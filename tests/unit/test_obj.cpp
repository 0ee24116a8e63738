// Wavefront OBJ import for the mesh-file converter: faces cut into fans, relative indices,
// vertices split by their combination of position, coordinates and normal, computed normals,
// and malformed text reported by line.
#include "mesh/obj_import.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvane {
namespace {

ObjImportResult Import(const std::string& text, MeshData& mesh) {
    return ImportObj(text.data(), text.size(), mesh);
}

std::vector<float> Vertex(const std::vector<float>& array, int index, int width) {
    return std::vector<float>(array.begin() + width * index, array.begin() + width * index + width);
}

TEST(ObjImport, QuadWithCoordinatesAndNormals) {
    const std::string text = "# a unit quad\r\n"
                             "mtllib quad.mtl\r\n"
                             "o quad\r\n"
                             "v 0 0 0\r\nv 1 0 0\r\nv 1 1 0 1.0\r\nv 0 1 0\r\n"
                             "vt 0 0\r\nvt 1 0\r\nvt 1 1\r\nvt 0 1\r\n"
                             "vn 0 0 1\r\n"
                             "g side\r\nusemtl stone\r\ns 1\r\n"
                             "f 1/1/1 2/2/1 3/3/1 4/4/1   # fan of two\r\n"
                             "l 1 2\r\n";
    MeshData mesh;
    ObjImportResult result = Import(text, mesh);
    ASSERT_TRUE(result.ok()) << result.line << ": " << result.problem;
    EXPECT_EQ(mesh.vertex_count, 4);
    EXPECT_EQ(mesh.index_count, 6u);
    EXPECT_EQ(mesh.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(mesh.set_count, 1);
    EXPECT_EQ(mesh.positions, (std::vector<float>{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}));
    EXPECT_EQ(mesh.texture_sets[0], (std::vector<float>{0, 0, 1, 0, 1, 1, 0, 1}));
    EXPECT_EQ(mesh.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}));
    EXPECT_FALSE(mesh.line_indices);
}

TEST(ObjImport, RelativeIndicesAndPolygonFans) {
    // Negative indices count back from the last item defined when the face is read.
    const std::string relative = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 2 0\n"
                                 "vn 0 0 1\n"
                                 "f -5//-1 -4//-1 -3//-1 -2//-1 -1//-1\n";
    const std::string absolute = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 2 0\n"
                                 "vn 0 0 1\n"
                                 "f 1//1 2//1 3//1 4//1 5//1\n";
    MeshData from_relative, from_absolute;
    ASSERT_TRUE(Import(relative, from_relative).ok());
    ASSERT_TRUE(Import(absolute, from_absolute).ok());
    EXPECT_EQ(from_relative.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}));
    EXPECT_EQ(from_relative.indices, from_absolute.indices);
    EXPECT_EQ(from_relative.positions, from_absolute.positions);
    // Without vt, one set of zeros.
    EXPECT_EQ(from_relative.set_count, 1);
    EXPECT_EQ(from_relative.texture_sets[0], std::vector<float>(10, 0.0f));
}

TEST(ObjImport, SplitsVerticesWhoseCombinationsDiffer) {
    // Two faces of a cube corner share the positions 1 and 2 but not their normals: four
    // vertices become six; the repeated triple 1//1 of the first face is one vertex.
    const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                             "vn 0 0 1\nvn 0 -1 0\n"
                             "f 1//1 2//1 3//1\n"
                             "f 2//2 1//2 4//2\n"
                             "f 3//1 2//1 1//1\n";
    MeshData mesh;
    ASSERT_TRUE(Import(text, mesh).ok());
    EXPECT_EQ(mesh.vertex_count, 6);
    EXPECT_EQ(mesh.indices, (std::vector<uint16_t>{0, 1, 2, 3, 4, 5, 2, 1, 0}));
    EXPECT_EQ(Vertex(mesh.positions, 3, 3), (std::vector<float>{1, 0, 0}));
    EXPECT_EQ(Vertex(mesh.normals, 3, 3), (std::vector<float>{0, -1, 0}));
    EXPECT_EQ(Vertex(mesh.normals, 1, 3), (std::vector<float>{0, 0, 1}));
}

TEST(ObjImport, ComputedNormalsAreSmoothAcrossCoordinateSeams) {
    // Two triangles folded along the edge of positions 1 and 2, which carry different texture
    // coordinates on each side: the split vertices still share one averaged normal.
    const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                             "vt 0 0\nvt 1 0\nvt 0 1\nvt 0.5 0.5\n"
                             "f 1/1 2/2 3/3\n"
                             "f 2/4 1/4 4/4\n";
    MeshData mesh;
    ASSERT_TRUE(Import(text, mesh).ok());
    ASSERT_EQ(mesh.vertex_count, 6);
    // Vertices 0 and 4 are position 1, vertices 1 and 3 position 2.
    EXPECT_EQ(Vertex(mesh.normals, 0, 3), (std::vector<float>{0, 0.5f, 0.5f}));
    EXPECT_EQ(Vertex(mesh.normals, 4, 3), Vertex(mesh.normals, 0, 3));
    EXPECT_EQ(Vertex(mesh.normals, 1, 3), Vertex(mesh.normals, 3, 3));
    EXPECT_EQ(Vertex(mesh.normals, 2, 3), (std::vector<float>{0, 0, 1}));
    EXPECT_EQ(Vertex(mesh.normals, 5, 3), (std::vector<float>{0, 1, 0}));
    EXPECT_EQ(Vertex(mesh.texture_sets[0], 3, 2), (std::vector<float>{0.5f, 0.5f}));

    // When only some face vertices name a normal, all normals are computed.
    MeshData partial;
    ASSERT_TRUE(Import("v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 1 0 0\nf 1//1 2 3\n", partial).ok());
    EXPECT_EQ(partial.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1}));
}

TEST(ObjImport, MalformedTextIsReportedByLine) {
    const std::string three = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    struct Case {
        std::string text;
        uint32_t line;
        const char* problem;
    };
    const Case cases[] = {
        {"", 0, "there are no faces"},
        {three + "l 1 2\n", 0, "there are no faces"},
        {"v 1 2\n", 1, "\"v\" needs 3 to 6 numbers, not 2"},
        {"\n\nv 1 x 2\n", 3, "\"x\" is not a number"},
        {"v 1 2 3\nv 1e99 0 0\n", 2, "\"1e99\" is not a finite number"},
        {"v nan 0 0\n", 1, "\"nan\" is not a finite number"},
        {"vn 1 2 3 4\n", 1, "\"vn\" needs 3 numbers, not 4"},
        {"vt\n", 1, "\"vt\" needs 1 to 3 numbers, not 0"},
        {three + "f 1 2\n", 4, "a face needs at least 3 vertices, not 2"},
        {three + "f 0 1 2\n", 4, "index 0 names no position (indices start at 1)"},
        {three + "f 1 2 4\n", 4, "index 4 names no position (3 defined so far)"},
        {three + "f -4 -3 -2\n", 4, "index -4 names no position (3 defined so far)"},
        {"f 1 2 3\n" + three, 1, "index 1 names no position (0 defined so far)"},
        {three + "f 1/1 2/1 3/1\n", 4, "index 1 names no texture coordinates (0 defined so far)"},
        {three + "f 1//2 2//2 3//2\n", 4, "index 2 names no normal (0 defined so far)"},
        {three + "f 1/1/1/1 2 3\n", 4, "\"1/1/1/1\" is not a face vertex"},
        {three + "f /1 2 3\n", 4, "\"/1\" is not a face vertex"},
        {three + "f a b c\n", 4, "\"a\" is not an index"},
        {three + "f 1.5 2 3\n", 4, "\"1.5\" is not an index"},
        {three + "f 99999999999999999999 2 3\n", 4, "\"99999999999999999999\" is not an index"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MeshData mesh;
        ObjImportResult result = Import(c.text, mesh);
        EXPECT_EQ(result.line, c.line);
        EXPECT_EQ(result.problem.rfind(c.problem, 0), 0u) << result.problem;
        EXPECT_EQ(mesh.vertex_count, 0);
    }
}

// Positions 1 ... count on a line, then the faces (i, i + 1, i + 2): every face after the
// first adds one vertex.
std::string Strip(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "v " + std::to_string(i) + " 0 0\n";
    }
    for (int i = 1; i + 2 <= count; ++i) {
        text += "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " +
                std::to_string(i + 2) + "\n";
    }
    return text;
}

TEST(ObjImport, AtMost65535Vertices) {
    MeshData mesh;
    ObjImportResult fits = Import(Strip(65535), mesh);
    ASSERT_TRUE(fits.ok()) << fits.problem;
    EXPECT_EQ(mesh.vertex_count, 65535);
    EXPECT_EQ(mesh.indices.back(), 65534);

    // The face that needs vertex 65536 is face 65534, on line 65536 + 65534.
    ObjImportResult too_many = Import(Strip(65536), mesh);
    EXPECT_EQ(too_many.line, 65536u + 65534u);
    EXPECT_EQ(too_many.problem, "more than 65535 vertices; a mesh holds at most that many");
    EXPECT_EQ(mesh.vertex_count, 0);
}

} // namespace
} // namespace korvane
