// Meshes: the mesh-file layout and every way a damaged one is refused, loading from a package
// and from the document's items, smooth normals, line indices, and the four dynamic mesh kinds.
#include "mesh/dynamic_mesh.h"
#include "mesh/mesh_file.h"
#include "mesh/normals.h"

#include "data/compressed_document.h"
#include "data/package.h"
#include "data/xml.h"
#include "math/cosine_table.h"
#include "model/project.h"
#include "support/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace korvane {
namespace {

// The inflated bytes of a mesh file, written field by field.
struct MeshBytes {
    std::vector<uint8_t> bytes;
    MeshBytes(uint16_t vertices, uint8_t sets) {
        bytes = {static_cast<uint8_t>(vertices & 0xff), static_cast<uint8_t>(vertices >> 8), sets,
                 0xee};
    }
    MeshBytes& Floats(std::initializer_list<float> values) {
        for (float value : values) {
            uint8_t raw[4];
            std::memcpy(raw, &value, 4);
            bytes.insert(bytes.end(), raw, raw + 4);
        }
        return *this;
    }
    MeshBytes& Indices(std::initializer_list<uint16_t> values) {
        for (uint16_t value : values) {
            bytes.push_back(static_cast<uint8_t>(value & 0xff));
            bytes.push_back(static_cast<uint8_t>(value >> 8));
        }
        return *this;
    }
};

// One triangle, V = 3 and S = 1: 4 + 32 x 3 + 6 = 106 bytes.
std::vector<uint8_t> TriangleFile() {
    return MeshBytes(3, 1)
        .Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}) // positions
        .Floats({0, 0, 1, 0, 0, 1})          // texture set 1
        .Floats({0, 0, 1, 0, 0, 1, 0, 0, 1}) // normals
        .Indices({0, 1, 2})
        .bytes;
}

std::vector<float> Floats(const float* values, size_t count) {
    return std::vector<float>(values, values + count);
}

TEST(MeshFile, ReadsTheLayoutOfOneTriangle) {
    const std::vector<uint8_t> bytes = TriangleFile();
    ASSERT_EQ(bytes.size(), 106u);
    MeshData mesh;
    MeshFileResult result = ParseMeshFile(bytes.data(), bytes.size(), "tri.mesh", mesh);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(mesh.vertex_count, 3);
    EXPECT_EQ(mesh.index_count, 3u);
    EXPECT_EQ(mesh.set_count, 1);
    EXPECT_EQ(mesh.positions, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(mesh.texture_sets[0], (std::vector<float>{0, 0, 1, 0, 0, 1}));
    EXPECT_TRUE(mesh.texture_sets[1].empty());
    EXPECT_TRUE(mesh.texture_sets[2].empty());
    EXPECT_EQ(mesh.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1}));
    EXPECT_EQ(mesh.indices, (std::vector<uint16_t>{0, 1, 2}));
    EXPECT_FALSE(mesh.line_indices);
    EXPECT_FALSE(mesh.centroid);

    // The writer makes the same bytes, the reserved byte apart.
    std::vector<uint8_t> written = EncodeMeshFile(mesh);
    ASSERT_EQ(written.size(), bytes.size());
    written[3] = bytes[3];
    EXPECT_EQ(written, bytes);
}

TEST(MeshFile, SetCountRuleAndTheSetsBeyondTheThird) {
    // One vertex per file; each texture set's coordinates are (set, set), the normal follows
    // all S sets, even those beyond the third that are not kept.
    for (uint8_t sets : {1, 2, 3, 4, 7}) {
        SCOPED_TRACE(testing::Message() << "S = " << int(sets));
        MeshBytes file(1, sets);
        file.Floats({9, 8, 7});
        for (int set = 1; set <= sets; ++set) {
            file.Floats({float(set), float(set)});
        }
        file.Floats({0.5f, 0.25f, 0.125f});
        MeshData mesh;
        MeshFileResult result = ParseMeshFile(file.bytes.data(), file.bytes.size(), "m", mesh);
        ASSERT_TRUE(result.ok()) << result.error;
        const int kept = sets < 3 ? sets : 3;
        EXPECT_EQ(mesh.set_count, kept);
        for (int set = 0; set < 3; ++set) {
            EXPECT_EQ(mesh.texture_sets[set].size(), set < kept ? 2u : 0u);
            if (set < kept) {
                EXPECT_EQ(mesh.texture_sets[set][0], float(set + 1));
            }
        }
        EXPECT_EQ(mesh.normals, (std::vector<float>{0.5f, 0.25f, 0.125f}));
        EXPECT_EQ(mesh.index_count, 0u);
    }
}

TEST(MeshFile, RefusesDamagedFilesWithANamedError) {
    std::vector<uint8_t> short_by_one = TriangleFile();
    short_by_one.resize(4 + 32 * 3 - 1);
    std::vector<uint8_t> odd = TriangleFile();
    odd.pop_back();
    std::vector<uint8_t> two_indices = TriangleFile();
    two_indices.resize(two_indices.size() - 2);
    std::vector<uint8_t> no_sets = TriangleFile();
    no_sets[2] = 0;
    std::vector<uint8_t> more_vertices = TriangleFile();
    more_vertices[0] = 4; // the same bytes now lack a fourth vertex
    std::vector<uint8_t> huge_count = TriangleFile();
    huge_count[0] = huge_count[1] = 0xff;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* words;
    };
    const Case cases[] = {
        {"empty", {}, "0 bytes are too few for the 4-byte header"},
        {"header cut", {3, 0, 1}, "3 bytes are too few"},
        {"no texture set", no_sets, "texture set count is 0"},
        {"vertex data cut", short_by_one, "too few for 3 vertices with 1 texture sets"},
        {"more vertices than bytes", more_vertices, "too few for 4 vertices"},
        {"65535 vertices", huge_count, "too few for 65535 vertices"},
        {"odd index bytes", odd, "odd byte count (5)"},
        {"incomplete triangle", two_indices, "2 indices do not make whole triangles"},
        {"index beyond the vertices",
         MeshBytes(2, 1)
             .Floats({0, 0, 0, 0, 0, 0})
             .Floats({0, 0, 0, 0})
             .Floats({0, 0, 0, 0, 0, 0})
             .Indices({0, 1, 1, 1, 0, 2})
             .bytes,
         "index 2 is beyond the 2 vertices (triangle 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeshData mesh;
        mesh.vertex_count = 7; // whatever was there before is dropped
        MeshFileResult result = ParseMeshFile(c.bytes.data(), c.bytes.size(), "rock.mesh", mesh);
        EXPECT_EQ(result.status, MeshFileStatus::kDamaged);
        EXPECT_EQ(result.error.rfind("rock.mesh: ", 0), 0u) << result.error;
        EXPECT_NE(result.error.find(c.words), std::string::npos) << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos);
        EXPECT_EQ(mesh.vertex_count, 0);
        EXPECT_TRUE(mesh.positions.empty());
        EXPECT_TRUE(mesh.indices.empty());
    }
}

std::vector<uint8_t> Framed(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> framed;
    std::string message;
    EXPECT_TRUE(CompressDocument(bytes.data(), bytes.size(), framed, message)) << message;
    return framed;
}

// A package of mesh entries, opened for reading.
class MeshPackage {
  public:
    explicit MeshPackage(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
        PackageFileList list;
        for (const auto& [name, bytes] : entries) {
            AppendPackageFile(list, name, std::nullopt).contents = bytes;
        }
        PackageResult written = WritePackage(list, dir_ / "meshes.dpk", nullptr);
        EXPECT_TRUE(written.ok()) << written.message;
        file_ = std::fopen((dir_ / "meshes.dpk").c_str(), "rb");
    }
    ~MeshPackage() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    std::FILE* get() const { return file_; }

  private:
    test::TempDir dir_;
    std::FILE* file_ = nullptr;
};

TEST(MeshFile, LoadsFromThePackageAndNamesWhatIsWrong) {
    std::vector<uint8_t> damaged_stream = Framed(TriangleFile());
    damaged_stream.resize(damaged_stream.size() / 2);
    std::vector<uint8_t> bad_layout = TriangleFile();
    bad_layout.push_back(0);
    MeshPackage package({{"tri.mesh", Framed(TriangleFile())},
                         {"cut.mesh", damaged_stream},
                         {"odd.mesh", Framed(bad_layout)}});
    ASSERT_NE(package.get(), nullptr);

    MeshFile record;
    MeshFileResult result = LoadMeshFile(record, package.get(), "tri.mesh", false);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(record.mesh.vertex_count, 3);
    EXPECT_EQ(record.mesh.indices, (std::vector<uint16_t>{0, 1, 2}));
    EXPECT_EQ(record.position_buffer, 0u); // no buffers without use_buffers
    EXPECT_EQ(record.index_buffer, 0u);

    struct Case {
        const char* name;
        MeshFileStatus status;
        const char* error;
    };
    const Case cases[] = {
        {"rock.mesh", MeshFileStatus::kAbsent, "rock.mesh: not in the package"},
        {"tri.mes", MeshFileStatus::kAbsent, "tri.mes: not in the package"},
        {"cut.mesh", MeshFileStatus::kDamaged, "cut.mesh: the zlib stream"},
        {"odd.mesh", MeshFileStatus::kDamaged, "odd.mesh: the index data has an odd byte count"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeshFile failed;
        result = LoadMeshFile(failed, package.get(), c.name, false);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.error.rfind(c.error, 0), 0u) << result.error;
        EXPECT_EQ(failed.mesh.vertex_count, 0);
        EXPECT_TRUE(failed.mesh.positions.empty());
    }
}

std::unique_ptr<XmlNode> Element(const std::string& xml) {
    std::unique_ptr<XmlNode> root = ParseXml(xml.c_str());
    EXPECT_NE(root->first_child, nullptr);
    return root;
}

TEST(MeshFile, DocumentItemsKeepTheirHandlesWhenTheyFail) {
    MeshPackage package({{"tri.mesh", Framed(TriangleFile())}});
    std::unique_ptr<Project> project = CreateProject();
    const auto good = Element(R"(<mesh filename="tri.mesh"/>)");
    const auto absent = Element(R"(<mesh filename="rock.mesh"/>)");
    const auto unnamed = Element(R"(<mesh file="tri.mesh"/>)");

    EXPECT_EQ(ValidateMeshFileElement(*good->first_child), "");
    EXPECT_EQ(ValidateMeshFileElement(*unnamed->first_child),
              "the attribute \"filename\" is missing");

    EXPECT_TRUE(LoadMeshFileElement(*good->first_child, *project, package.get(), false).ok());
    MeshFileResult missing =
        LoadMeshFileElement(*absent->first_child, *project, package.get(), false);
    EXPECT_EQ(missing.error, "rock.mesh: not in the package");
    MeshFileResult no_name =
        LoadMeshFileElement(*unnamed->first_child, *project, package.get(), false);
    EXPECT_EQ(no_name.error, "the attribute \"filename\" is missing");
    EXPECT_TRUE(LoadMeshFileElement(*good->first_child, *project, package.get(), false).ok());

    ASSERT_EQ(project->mesh_files.count, 4);
    EXPECT_EQ(PoolGet(project->mesh_files, 1)->mesh.vertex_count, 3);
    EXPECT_EQ(PoolGet(project->mesh_files, 2)->mesh.vertex_count, 0);
    EXPECT_EQ(PoolGet(project->mesh_files, 3)->mesh.vertex_count, 0);
    EXPECT_EQ(PoolGet(project->mesh_files, 4)->mesh.vertex_count, 3);
}

// A mesh of the given positions and triangles, normals zeroed.
MeshData MeshOf(std::vector<float> positions, std::vector<uint16_t> indices) {
    MeshData mesh;
    mesh.vertex_count = static_cast<uint16_t>(positions.size() / 3);
    mesh.positions = std::move(positions);
    mesh.normals.assign(mesh.positions.size(), 0.0f);
    mesh.index_count = static_cast<uint32_t>(indices.size());
    mesh.indices = std::move(indices);
    return mesh;
}

TEST(SmoothNormals, OneTriangleFacesTheViewer) {
    MeshData mesh = MeshOf({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2});
    mesh.normals.assign(9, 5.0f); // stale normals are replaced, not added to
    ComputeSmoothNormals(mesh);
    EXPECT_EQ(mesh.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1}));
}

TEST(SmoothNormals, DegenerateTriangleAddsItsRawCrossProduct) {
    // Sides of 1/1024: the cross product is 2^-20 long, below 0.001, and is added as it is.
    const float side = 1.0f / 1024;
    MeshData mesh = MeshOf({0, 0, 0, side, 0, 0, 0, side, 0}, {0, 1, 2});
    ComputeSmoothNormals(mesh);
    const float tiny = side * side;
    EXPECT_EQ(mesh.normals, (std::vector<float>{0, 0, tiny, 0, 0, tiny, 0, 0, tiny}));

    // A triangle whose corners coincide adds nothing (and no NaN).
    MeshData point = MeshOf({2, 3, 4, 2, 3, 4, 2, 3, 4}, {0, 1, 2});
    ComputeSmoothNormals(point);
    EXPECT_EQ(point.normals, std::vector<float>(9, 0.0f));
}

TEST(SmoothNormals, SharedVerticesTakeThePlainAverage) {
    // Two triangles folded along the edge 0-1: one in the z = 0 plane facing +z, one in the
    // y = 0 plane facing +y. The edge vertices get the average, of length 0.707, not 1.
    MeshData mesh = MeshOf({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 1, 2, 1, 0, 3});
    ComputeSmoothNormals(mesh);
    EXPECT_EQ(Floats(mesh.normals.data(), 3), (std::vector<float>{0, 0.5f, 0.5f}));
    EXPECT_EQ(Floats(mesh.normals.data() + 3, 3), (std::vector<float>{0, 0.5f, 0.5f}));
    EXPECT_EQ(Floats(mesh.normals.data() + 6, 3), (std::vector<float>{0, 0, 1}));
    EXPECT_EQ(Floats(mesh.normals.data() + 9, 3), (std::vector<float>{0, 1, 0}));
}

TEST(LineIndices, SixPerTriangleMadeOnceAndAnnouncedEveryCall) {
    MeshData mesh = MeshOf(std::vector<float>(12, 0.0f), {0, 1, 2, 2, 1, 3});
    testing::internal::CaptureStdout();
    GenerateLineIndexArray(mesh);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "GenerateLineIndexArray\n");
    ASSERT_TRUE(mesh.line_indices);
    const std::vector<uint16_t> expected = {0, 1, 1, 2, 2, 0, 2, 1, 1, 3, 3, 2};
    EXPECT_EQ(*mesh.line_indices, expected);

    // Lines already made stay as they are; the line is printed all the same.
    mesh.indices = {3, 3, 3, 3, 3, 3};
    testing::internal::CaptureStdout();
    GenerateLineIndexArray(mesh);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "GenerateLineIndexArray\n");
    EXPECT_EQ(*mesh.line_indices, expected);
}

class DynamicMeshTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { BuildCosineTable(); }
    static float Cosine(int entry) { return GetCosineTable()[entry]; }
};

TEST_F(DynamicMeshTest, CosineLookupTruncatesTowardZeroAndKeepsTheSign) {
    struct Case {
        double x;
        int entry;
    };
    const Case cases[] = {
        {0.0, 4096},          {1.0, 4096 + 651}, // 651.899 steps
        {-1.0, 4096 - 651},                      // toward zero, not down to -652
        {0.0015, 4096},                          // 0.98 of a step
        {-0.0015, 4096},      {7.0, 4096 + 467}, // 4563.29 steps, rem 4096
        {-7.0, 4096 - 467},   {1e12, 4096 + int(std::fmod(std::trunc(1e12 * 651.8986469), 4096.0))},
        {std::nan(""), 4096}, {HUGE_VAL, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x = " << c.x);
        EXPECT_EQ(CosineLookup(c.x), Cosine(c.entry));
    }
}

TEST_F(DynamicMeshTest, WaterGridLayout) {
    for (uint8_t kind : {0, 1}) {
        const DynamicMesh water = CreateDynamicMesh(kind);
        const MeshData& mesh = water.mesh;
        ASSERT_EQ(mesh.vertex_count, 900);
        ASSERT_EQ(mesh.index_count, 5046u);
        ASSERT_EQ(mesh.indices.size(), 5046u);
        EXPECT_EQ(mesh.set_count, 2);
        EXPECT_EQ(mesh.texture_sets[0], mesh.texture_sets[1]);
        // Vertex 30i + j sits at (i, 0, j) with coordinates (i/30, j/30).
        const int v = 30 * 7 + 12;
        EXPECT_EQ(Floats(&mesh.positions[3 * v], 3), (std::vector<float>{7, 0, 12}));
        EXPECT_EQ(mesh.texture_sets[0][2 * v], 7 * (1.0f / 30));
        EXPECT_EQ(mesh.texture_sets[0][2 * v + 1], 12 * (1.0f / 30));
        // All (a, a+1, a+31) triangles of the 29 x 29 squares, then all (a, a+31, a+30).
        const auto triangle = [&](size_t t) {
            return std::vector<uint16_t>(mesh.indices.begin() + 3 * t,
                                         mesh.indices.begin() + 3 * t + 3);
        };
        EXPECT_EQ(triangle(0), (std::vector<uint16_t>{0, 1, 31}));
        EXPECT_EQ(triangle(29), (std::vector<uint16_t>{30, 31, 61}));
        EXPECT_EQ(triangle(840), (std::vector<uint16_t>{868, 869, 899}));
        EXPECT_EQ(triangle(841), (std::vector<uint16_t>{0, 31, 30}));
        EXPECT_EQ(triangle(1681), (std::vector<uint16_t>{868, 899, 898}));
    }
    EXPECT_EQ(CreateDynamicMesh(0).lake.step, 0);
    EXPECT_EQ(CreateDynamicMesh(0).lake.fields[2], std::vector<int32_t>(900, 0));
    EXPECT_EQ(CreateDynamicMesh(1).last_value, -1.0f);
}

// The cells the next four drops of rand() fall into.
std::vector<int> NextDropCells() {
    std::vector<int> cells;
    for (int i = 0; i < 4; ++i) {
        cells.push_back(static_cast<int>(static_cast<float>(std::rand()) * 4.1909516e-07f));
    }
    return cells;
}

float Height(const DynamicMesh& mesh, int vertex) {
    return mesh.mesh.positions[3 * vertex + 1];
}

TEST_F(DynamicMeshTest, LakeWaterStepsOncePerWholeTimeUnitAndResynchronisesJumps) {
    DynamicMesh lake = CreateDynamicMesh(0);
    const auto update = [&](float t) { UpdateDynamicMeshWith(lake, &t); };

    // 0 to 0.9: interpolation only, no step, no random number drawn.
    std::srand(77);
    const int first_draw = std::rand();
    std::srand(77);
    for (float t : {0.0f, 0.3f, 0.9f}) {
        update(t);
    }
    EXPECT_EQ(lake.lake.step, 0);
    EXPECT_EQ(std::rand(), first_draw);
    EXPECT_EQ(lake.lake.fields[1], std::vector<int32_t>(900, 0));
    const std::vector<float> flat_normals = lake.mesh.normals;
    EXPECT_EQ(Floats(&flat_normals[3 * 100], 3), (std::vector<float>{0, 1, 0}));

    // 1.0: one step, four drops into the current field, depths -6, -5, -6, -5.
    std::srand(77);
    const std::vector<int> cells = NextDropCells();
    std::srand(77);
    update(1.0f);
    EXPECT_EQ(lake.lake.step, 1);
    std::vector<int32_t> expected(900, 0);
    const int32_t depths[] = {-6, -5, -6, -5};
    for (int i = 0; i < 4; ++i) {
        expected[cells[i]] = depths[i];
    }
    EXPECT_EQ(lake.lake.fields[1], expected);
    // f = 0, so the height is 0.2 x 0.5 x the current field.
    for (int cell : cells) {
        EXPECT_FLOAT_EQ(Height(lake, cell), float(0.2 * 0.5 * expected[cell]));
    }
    // The normals were recomputed: the dents tilt some of them.
    EXPECT_NE(lake.mesh.normals, flat_normals);

    // 1.0 to 5.0: resynchronised to 5 without a step.
    const int next_draw = std::rand();
    std::srand(77);
    NextDropCells();
    update(5.0f);
    EXPECT_EQ(lake.lake.step, 5);
    EXPECT_EQ(lake.lake.fields[1], expected);
    EXPECT_EQ(std::rand(), next_draw);

    // A jump back in time resynchronises as well.
    update(2.5f);
    EXPECT_EQ(lake.lake.step, 2);
    EXPECT_EQ(lake.lake.fields[1], expected);
}

TEST_F(DynamicMeshTest, LakeWaterSimulationStepAndBlend) {
    DynamicMesh lake = CreateDynamicMesh(0);
    auto& fields = lake.lake.fields;
    // Before the step: b (fields[1]) is the older generation, c (fields[2]) the newer.
    fields[1][130] = 40;
    fields[1][131] = -64;
    fields[2][100] = 8;
    fields[2][161] = 3;
    fields[2][60] = 2; // column 0 of row 2: its neighbours are computed, then the column is 0
    std::srand(5);
    const std::vector<int> cells = NextDropCells();
    std::srand(5);
    float t = 1.0f;
    UpdateDynamicMeshWith(lake, &t);

    std::vector<int32_t> a(900, 0), b(900, 0), c(900, 0);
    a[130] = 40;
    a[131] = -64;
    b[100] = 8;
    b[161] = 3;
    b[60] = 2;
    // c = ((sum of the four neighbours in b) >> 1) - old b, then v - (v >> 5), cut at 4.
    c[130] = -34; // (8 >> 1) - 40 = -36; -36 - (-2) = -34
    c[131] = 4;   // (3 >> 1) + 64 = 65; 65 - 2 = 63, cut to 4
    c[101] = 4;   // 8 >> 1
    c[70] = 4;
    c[99] = 4;
    c[162] = 1; // 3 >> 1
    c[160] = 1;
    c[191] = 1;
    c[61] = 1; // 2 >> 1; cells 30 and 90 (column 0) and 59 (column 29) are set to 0
    const int32_t depths[] = {-6, -5, -6, -5};
    for (int i = 0; i < 4; ++i) {
        b[cells[i]] = depths[i];
    }
    EXPECT_EQ(fields[0], a);
    EXPECT_EQ(fields[1], b);
    EXPECT_EQ(fields[2], c);

    // Between steps the heights blend the generations: f = 0.25 weighs a by 0.75 and c by
    // 0.25, in float, and adds half of b.
    t = 1.25f;
    UpdateDynamicMeshWith(lake, &t);
    EXPECT_EQ(lake.lake.step, 1);
    for (int cell : {130, 131, 100, 161}) {
        SCOPED_TRACE(cell);
        const float older = 0.75f * float(a[cell]);
        const float newer = 0.25f * float(c[cell]);
        EXPECT_EQ(Height(lake, cell), float(0.2 * (0.5 * older + 0.5 * newer + 0.5 * b[cell])));
    }
}

TEST_F(DynamicMeshTest, LakeWaterSurvivesAnyParameter) {
    DynamicMesh lake = CreateDynamicMesh(0);
    for (float t : {-5.5f, 3e9f, -3e9f, std::nanf(""), HUGE_VALF, 12.0f, 13.0f}) {
        UpdateDynamicMeshWith(lake, &t);
    }
    EXPECT_EQ(lake.lake.step, 13);
}

TEST_F(DynamicMeshTest, CenterwaveChangesOnlyForAChangeOfAtLeastOneHundredth) {
    DynamicMesh wave = CreateDynamicMesh(1);
    float t = 1.0f;
    UpdateDynamicMeshWith(wave, &t);
    EXPECT_EQ(wave.last_value, 1.0f);
    const std::vector<float> positions = wave.mesh.positions;
    const std::vector<float> normals = wave.mesh.normals;

    // Vertex (15, 18) is 3 from the centre: y = (14 - 3) x 0.1 x cosine lookup(3 - t).
    const int v = 30 * 15 + 18;
    EXPECT_EQ(Height(wave, v), float(11.0f * 0.1 * CosineLookup(2.0f)));
    // The corner (0, 0) is 21.2 away: beyond 14 the surface is flat.
    EXPECT_EQ(Height(wave, 0), 0.0f);
    EXPECT_NE(normals[3 * v + 2], 0.0f);

    t = 1.005f;
    UpdateDynamicMeshWith(wave, &t);
    EXPECT_EQ(wave.last_value, 1.0f);
    EXPECT_EQ(wave.mesh.positions, positions);

    t = 1.5f;
    UpdateDynamicMeshWith(wave, &t);
    EXPECT_EQ(wave.last_value, 1.5f);
    EXPECT_EQ(Height(wave, v), float(11.0f * 0.1 * CosineLookup(1.5f)));
}

TEST_F(DynamicMeshTest, SwirlIsAFanOfTwoCosineSpirals) {
    DynamicMesh swirl = CreateDynamicMesh(2);
    ASSERT_EQ(swirl.mesh.vertex_count, 256);
    ASSERT_EQ(swirl.mesh.index_count, 765u);
    EXPECT_EQ(swirl.mesh.set_count, 0);
    EXPECT_EQ(swirl.mesh.normals.size(), 768u);
    EXPECT_EQ(std::vector<uint16_t>(swirl.mesh.indices.begin(), swirl.mesh.indices.begin() + 6),
              (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(std::vector<uint16_t>(swirl.mesh.indices.end() - 6, swirl.mesh.indices.end()),
              (std::vector<uint16_t>{0, 254, 255, 0, 255, 1}));

    const float parameters[] = {0.3f, 2.0f};
    UpdateDynamicMeshWith(swirl, parameters);
    for (int k : {1, 100, 255}) {
        SCOPED_TRACE(k);
        const float a = 0.3f * float(k);
        const float c = CosineLookup(a);
        const float n = CosineLookup(a + 1.5707963266);
        EXPECT_EQ(Floats(&swirl.mesh.positions[3 * k], 3),
                  (std::vector<float>{c * (2.0f + float(k) + c), n * (2.0f + float(k) + n), 0}));
    }
    EXPECT_EQ(Floats(swirl.mesh.positions.data(), 3), (std::vector<float>{0, 0, 0}));
    // A flat fan in the z = 0 plane: every normal lies along z.
    EXPECT_EQ(swirl.mesh.normals[3 * 50], 0.0f);
    EXPECT_NE(swirl.mesh.normals[3 * 50 + 2], 0.0f);
}

TEST_F(DynamicMeshTest, UmbrellaSidesShapeAndRebuilds) {
    DynamicMesh umbrella = CreateDynamicMesh(3);
    EXPECT_EQ(umbrella.side_count, -1);
    EXPECT_EQ(umbrella.mesh.vertex_count, 0);
    EXPECT_TRUE(umbrella.mesh.positions.empty());

    // 2.7 sides make a triangle: 4 vertices, the fan closed by (0, 3, 1).
    const float size = 2.0f, angle = 0.5f;
    float parameters[] = {2.7f, size, angle};
    UpdateDynamicMeshWith(umbrella, parameters);
    EXPECT_EQ(umbrella.side_count, 3);
    EXPECT_EQ(umbrella.mesh.vertex_count, 4);
    EXPECT_EQ(umbrella.mesh.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 0, 3, 1}));
    EXPECT_EQ(umbrella.mesh.set_count, 1);

    const double pi = 3.14159265358979323846;
    const float radius = float(size * std::cos(pi / 2 - angle));
    const float height = float(size * std::cos(angle));
    const double theta = 1 * (2 * pi / 3);
    EXPECT_EQ(Floats(umbrella.mesh.positions.data(), 6),
              (std::vector<float>{0, 0, 0, float(radius * std::cos(theta)), -height,
                                  float(radius * std::cos(pi / 2 - theta))}));
    EXPECT_EQ(Floats(umbrella.mesh.texture_sets[0].data(), 4),
              (std::vector<float>{0.5f, 0.5f, float((std::cos(theta) + 1) * 0.5),
                                  float((std::cos(pi / 2 - theta) + 1) * 0.5)}));
    // The tip is shared by all three faces; it points up the axis.
    EXPECT_NEAR(umbrella.mesh.normals[0], 0.0f, 1e-6);
    EXPECT_NEAR(umbrella.mesh.normals[2], 0.0f, 1e-6);

    // 5 sides, wireframe lines made; a change within the same side count keeps them.
    parameters[0] = 5.0f;
    UpdateDynamicMeshWith(umbrella, parameters);
    testing::internal::CaptureStdout();
    GenerateLineIndexArray(umbrella.mesh);
    testing::internal::GetCapturedStdout();
    parameters[0] = 5.9f;
    UpdateDynamicMeshWith(umbrella, parameters);
    ASSERT_TRUE(umbrella.mesh.line_indices);
    EXPECT_EQ(umbrella.mesh.line_indices->size(), 30u);

    // 6 sides: rebuilt with 7 vertices and 18 indices; the old lines are gone.
    parameters[0] = 6.0f;
    UpdateDynamicMeshWith(umbrella, parameters);
    EXPECT_EQ(umbrella.mesh.vertex_count, 7);
    EXPECT_EQ(umbrella.mesh.index_count, 18u);
    EXPECT_EQ(umbrella.mesh.positions.size(), 21u);
    EXPECT_EQ(umbrella.mesh.normals.size(), 21u);
    EXPECT_EQ(umbrella.mesh.texture_sets[0].size(), 14u);
    EXPECT_EQ(std::vector<uint16_t>(umbrella.mesh.indices.end() - 3, umbrella.mesh.indices.end()),
              (std::vector<uint16_t>{0, 6, 1}));
    EXPECT_FALSE(umbrella.mesh.line_indices);
}

TEST_F(DynamicMeshTest, UmbrellaSideCountStaysWithinSixteenBitVertices) {
    DynamicMesh umbrella = CreateDynamicMesh(3);
    float parameters[] = {std::nanf(""), 1.0f, 0.0f};
    UpdateDynamicMeshWith(umbrella, parameters);
    EXPECT_EQ(umbrella.side_count, 3);
    parameters[0] = 1e12f;
    UpdateDynamicMeshWith(umbrella, parameters);
    EXPECT_EQ(umbrella.side_count, kMaxUmbrellaSides);
    EXPECT_EQ(umbrella.mesh.vertex_count, 65535);
    EXPECT_EQ(umbrella.mesh.indices[3 * kMaxUmbrellaSides - 2], 65534);
}

FunctionCurve ConstantCurve(float value) {
    FunctionCurve curve;
    curve.segment_count = 1;
    curve.segment_kinds[0] = CurveKind::kConstant;
    curve.segment_lengths[0] = 100;
    curve.segment_parameters[0][0] = value;
    return curve;
}

TEST_F(DynamicMeshTest, UpdateEvaluatesTheParameterCurves) {
    auto curves = CreatePool<ResourcePool<FunctionCurve>>();
    *PoolGet(*curves, PoolAdd(*curves)) = ConstantCurve(4.5f);
    *PoolGet(*curves, PoolAdd(*curves)) = ConstantCurve(2.0f);

    DynamicMesh umbrella = CreateDynamicMesh(3);
    umbrella.parameter_curves = {1, 2, 0}; // Angle has no curve: 0
    UpdateDynamicMesh(umbrella, *curves, 10);
    EXPECT_EQ(umbrella.side_count, 4);
    // Angle 0: radius (nearly) 0, height = size.
    EXPECT_NEAR(umbrella.mesh.positions[3], 0.0f, 1e-12);
    EXPECT_EQ(umbrella.mesh.positions[4], -2.0f);

    // A handle naming no curve reads 0 as well: a swirl of X = 0 is a straight line.
    DynamicMesh swirl = CreateDynamicMesh(2);
    swirl.parameter_curves = {9, 2};
    UpdateDynamicMesh(swirl, *curves, 10);
    EXPECT_EQ(swirl.mesh.positions[3 * 10], 13.0f);
    EXPECT_EQ(swirl.mesh.positions[3 * 10 + 2], 0.0f);

    // Kinds outside the catalogue stay empty.
    DynamicMesh other = CreateDynamicMesh(4);
    other.parameter_curves = {1, 2};
    UpdateDynamicMesh(other, *curves, 10);
    EXPECT_EQ(other.mesh.vertex_count, 0);
    EXPECT_TRUE(other.mesh.positions.empty());
    EXPECT_EQ(other.kind, 4);
}

TEST_F(DynamicMeshTest, DocumentItemsReadTypeAndConsecutiveParameterChildren) {
    std::unique_ptr<Project> project = CreateProject();
    const auto swirl = Element(R"(<d type="2"><p>3</p><p> 7x</p><q>5</q><p>9</p></d>)");
    const auto short_umbrella = Element(R"(<d type="3"><p>2</p></d>)");
    const auto untyped = Element(R"(<d><p>1</p></d>)");
    const auto out_of_range = Element(R"(<d type="300"><p>70000</p><p>-2</p></d>)");

    EXPECT_EQ(LoadDynamicMeshElement(*swirl->first_child, *project), "");
    EXPECT_EQ(LoadDynamicMeshElement(*short_umbrella->first_child, *project), "");
    EXPECT_EQ(LoadDynamicMeshElement(*untyped->first_child, *project),
              "the attribute \"type\" is missing");
    EXPECT_EQ(LoadDynamicMeshElement(*out_of_range->first_child, *project), "");
    ASSERT_EQ(project->dynamic_meshes.count, 4);

    const DynamicMesh& first = *PoolGet(project->dynamic_meshes, 1);
    EXPECT_EQ(first.kind, 2);
    EXPECT_EQ(first.mesh.vertex_count, 256);
    EXPECT_EQ(first.parameter_curves[0], 3);
    EXPECT_EQ(first.parameter_curves[1], 7);
    EXPECT_EQ(first.parameter_curves[2], 0); // reading stopped at <q>
    const DynamicMesh& second = *PoolGet(project->dynamic_meshes, 2);
    EXPECT_EQ(second.kind, 3);
    EXPECT_EQ(second.parameter_curves[0], 2);
    EXPECT_EQ(second.parameter_curves[1], 0); // missing parameters have no curve
    EXPECT_EQ(second.parameter_curves[2], 0);
    const DynamicMesh& fourth = *PoolGet(project->dynamic_meshes, 4);
    EXPECT_EQ(fourth.kind, kUnknownDynamicMeshKind);
    EXPECT_EQ(fourth.parameter_curves[0], 0);
    EXPECT_EQ(fourth.parameter_curves[1], 0);

    EXPECT_EQ(ValidateDynamicMeshElement(*swirl->first_child, 7), "");
    EXPECT_EQ(ValidateDynamicMeshElement(*swirl->first_child, 6),
              "parameter 2: curve 7 does not exist");
    EXPECT_EQ(ValidateDynamicMeshElement(*untyped->first_child, 6),
              "the attribute \"type\" is missing");
    EXPECT_EQ(ValidateDynamicMeshElement(*out_of_range->first_child, 10),
              "parameter 1: curve 70000 does not exist");
}

TEST(DynamicMeshCatalogue, NamesAndParameters) {
    ASSERT_EQ(kDynamicMeshCatalogue.size(), 4u);
    EXPECT_STREQ(kDynamicMeshCatalogue[0].name, "Lake water");
    EXPECT_STREQ(kDynamicMeshCatalogue[1].name, "Centerwave water");
    EXPECT_STREQ(kDynamicMeshCatalogue[2].name, "Swirl");
    EXPECT_STREQ(kDynamicMeshCatalogue[3].name, "Umbrella");
    EXPECT_EQ(kDynamicMeshCatalogue[2].parameter_count, 2);
    EXPECT_STREQ(kDynamicMeshCatalogue[2].parameter_names[1], "Y");
    EXPECT_EQ(kDynamicMeshCatalogue[3].parameter_count, 3);
    EXPECT_STREQ(kDynamicMeshCatalogue[3].parameter_names[2], "Angle");
}

} // namespace
} // namespace korvane
