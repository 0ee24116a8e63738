#include "mesh/obj_import.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mesh/normals.h"

namespace korvane {

namespace {

constexpr int32_t kNone = -1;

// One corner of a face: 0-based indices into the text's positions, coordinates and normals.
struct Corner {
    int32_t position = kNone;
    int32_t coordinates = kNone;
    int32_t normal = kNone;
    bool operator==(const Corner& other) const {
        return position == other.position && coordinates == other.coordinates &&
               normal == other.normal;
    }
};

struct CornerHash {
    size_t operator()(const Corner& corner) const {
        uint64_t h = uint32_t(corner.position);
        h = h * 0x9E3779B97F4A7C15ull ^ uint32_t(corner.coordinates);
        h = h * 0x9E3779B97F4A7C15ull ^ uint32_t(corner.normal);
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

struct ObjText {
    std::vector<float> positions;   // 3 per "v"
    std::vector<float> coordinates; // 2 per "vt"
    std::vector<float> normals;     // 3 per "vn"
    std::vector<Corner> corners;    // 3 per triangle
    std::vector<uint32_t> triangle_lines;
    bool every_corner_has_normal = true;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::vector<std::string> SplitWords(const char* begin, const char* end) {
    std::vector<std::string> words;
    const char* p = begin;
    while (p < end) {
        while (p < end && IsBlank(*p)) {
            ++p;
        }
        const char* start = p;
        while (p < end && !IsBlank(*p)) {
            ++p;
        }
        if (p > start) {
            words.emplace_back(start, p);
        }
    }
    return words;
}

std::string Quoted(const std::string& word) {
    std::string shown;
    for (char c : word) {
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    }
    return "\"" + shown + "\"";
}

// A whole word as a finite float; the problem otherwise.
std::string ReadNumber(const std::string& word, float& value) {
    errno = 0;
    char* end = nullptr;
    const double number = std::strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0') {
        return Quoted(word) + " is not a number";
    }
    value = static_cast<float>(number);
    if (!std::isfinite(value)) {
        return Quoted(word) + " is not a finite number";
    }
    return std::string();
}

// Reads count_min ... count_max numbers after the keyword; missing ones stay 0.
std::string ReadNumbers(const std::vector<std::string>& words, size_t count_min, size_t count_max,
                        std::vector<float>& out, size_t keep) {
    const size_t given = words.size() - 1;
    if (given < count_min || given > count_max) {
        std::string wanted = count_min == count_max
                                 ? std::to_string(count_min)
                                 : std::to_string(count_min) + " to " + std::to_string(count_max);
        return "\"" + words[0] + "\" needs " + wanted + " numbers, not " + std::to_string(given);
    }
    for (size_t i = 0; i < keep; ++i) {
        float value = 0.0f;
        if (i < given) {
            std::string problem = ReadNumber(words[i + 1], value);
            if (!problem.empty()) {
                return problem;
            }
        }
        out.push_back(value);
    }
    // Numbers past those kept (the w of a position, vertex colours) are checked all the same.
    for (size_t i = keep; i < given; ++i) {
        float ignored = 0.0f;
        std::string problem = ReadNumber(words[i + 1], ignored);
        if (!problem.empty()) {
            return problem;
        }
    }
    return std::string();
}

// One index of a face vertex: 1-based, or negative to count back from the last one defined.
std::string ReadIndex(const std::string& part, size_t defined, const char* what, int32_t& index) {
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(part.c_str(), &end, 10);
    if (end == part.c_str() || *end != '\0' || errno == ERANGE) {
        return Quoted(part) + " is not an index";
    }
    if (number == 0) {
        return std::string("index 0 names no ") + what + " (indices start at 1)";
    }
    const long long resolved = number > 0 ? number - 1 : static_cast<long long>(defined) + number;
    if (resolved < 0 || resolved >= static_cast<long long>(defined)) {
        return "index " + std::to_string(number) + " names no " + what + " (" +
               std::to_string(defined) + " defined so far)";
    }
    index = static_cast<int32_t>(resolved);
    return std::string();
}

std::string ReadCorner(const std::string& word, const ObjText& obj, Corner& corner) {
    std::vector<std::string> parts(1);
    for (char c : word) {
        if (c == '/') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    if (parts.size() > 3 || parts[0].empty()) {
        return Quoted(word) + " is not a face vertex (v, v/vt, v//vn or v/vt/vn)";
    }
    std::string problem =
        ReadIndex(parts[0], obj.positions.size() / 3, "position", corner.position);
    if (problem.empty() && parts.size() > 1 && !parts[1].empty()) {
        problem = ReadIndex(parts[1], obj.coordinates.size() / 2, "texture coordinates",
                            corner.coordinates);
    }
    if (problem.empty() && parts.size() > 2 && !parts[2].empty()) {
        problem = ReadIndex(parts[2], obj.normals.size() / 3, "normal", corner.normal);
    }
    return problem;
}

std::string ReadFace(const std::vector<std::string>& words, uint32_t line, ObjText& obj) {
    if (words.size() < 4) {
        return "a face needs at least 3 vertices, not " + std::to_string(words.size() - 1);
    }
    std::vector<Corner> polygon(words.size() - 1);
    for (size_t i = 0; i < polygon.size(); ++i) {
        std::string problem = ReadCorner(words[i + 1], obj, polygon[i]);
        if (!problem.empty()) {
            return problem;
        }
        if (polygon[i].normal == kNone) {
            obj.every_corner_has_normal = false;
        }
    }
    // A fan around the first corner.
    for (size_t i = 1; i + 1 < polygon.size(); ++i) {
        obj.corners.insert(obj.corners.end(), {polygon[0], polygon[i], polygon[i + 1]});
        obj.triangle_lines.push_back(line);
    }
    return std::string();
}

ObjImportResult Problem(uint32_t line, std::string problem) {
    return ObjImportResult{std::move(problem), line};
}

} // namespace

ObjImportResult ImportObj(const char* text, size_t size, MeshData& mesh) {
    mesh = MeshData();
    ObjText obj;
    uint32_t line = 0;
    for (size_t at = 0; at < size;) {
        ++line;
        size_t end = at;
        while (end < size && text[end] != '\n') {
            ++end;
        }
        size_t content_end = at;
        while (content_end < end && text[content_end] != '#') {
            ++content_end;
        }
        const std::vector<std::string> words = SplitWords(text + at, text + content_end);
        at = end + 1;
        if (words.empty()) {
            continue;
        }
        const std::string& keyword = words[0];
        std::string problem;
        if (keyword == "v") {
            // x y z, an optional w, or the x y z r g b of files with vertex colours.
            problem = ReadNumbers(words, 3, 6, obj.positions, 3);
        } else if (keyword == "vt") {
            problem = ReadNumbers(words, 1, 3, obj.coordinates, 2);
        } else if (keyword == "vn") {
            problem = ReadNumbers(words, 3, 3, obj.normals, 3);
        } else if (keyword == "f") {
            problem = ReadFace(words, line, obj);
        }
        if (!problem.empty()) {
            return Problem(line, std::move(problem));
        }
    }
    if (obj.corners.empty()) {
        return Problem(0, "there are no faces");
    }

    const bool use_normals = obj.every_corner_has_normal;
    std::unordered_map<Corner, uint16_t, CornerHash> vertex_of;
    std::vector<Corner> vertices;
    mesh.indices.reserve(obj.corners.size());
    for (size_t i = 0; i < obj.corners.size(); ++i) {
        Corner corner = obj.corners[i];
        if (!use_normals) {
            corner.normal = kNone;
        }
        auto found = vertex_of.find(corner);
        if (found == vertex_of.end()) {
            if (vertices.size() == kMaxMeshVertices) {
                mesh = MeshData();
                return Problem(obj.triangle_lines[i / 3],
                               "more than " + std::to_string(kMaxMeshVertices) +
                                   " vertices; a mesh holds at most that many");
            }
            found = vertex_of.emplace(corner, static_cast<uint16_t>(vertices.size())).first;
            vertices.push_back(corner);
        }
        mesh.indices.push_back(found->second);
    }

    const size_t count = vertices.size();
    mesh.vertex_count = static_cast<uint16_t>(count);
    mesh.index_count = static_cast<uint32_t>(mesh.indices.size());
    mesh.set_count = 1;
    mesh.positions.resize(3 * count);
    mesh.texture_sets[0].assign(2 * count, 0.0f);
    mesh.normals.assign(3 * count, 0.0f);
    for (size_t v = 0; v < count; ++v) {
        const Corner& corner = vertices[v];
        for (int k = 0; k < 3; ++k) {
            mesh.positions[3 * v + k] = obj.positions[3 * size_t(corner.position) + k];
        }
        if (corner.coordinates != kNone) {
            mesh.texture_sets[0][2 * v] = obj.coordinates[2 * size_t(corner.coordinates)];
            mesh.texture_sets[0][2 * v + 1] = obj.coordinates[2 * size_t(corner.coordinates) + 1];
        }
        if (use_normals) {
            for (int k = 0; k < 3; ++k) {
                mesh.normals[3 * v + k] = obj.normals[3 * size_t(corner.normal) + k];
            }
        }
    }
    if (use_normals) {
        return {};
    }

    // Smooth normals over the positions rather than the vertices: vertices split only by
    // their texture coordinates share one normal.
    std::unordered_map<int32_t, uint16_t> shared_of;
    MeshData shared;
    std::vector<uint16_t> shared_of_vertex(count);
    for (size_t v = 0; v < count; ++v) {
        auto found = shared_of.find(vertices[v].position);
        if (found == shared_of.end()) {
            found = shared_of
                        .emplace(vertices[v].position,
                                 static_cast<uint16_t>(shared.positions.size() / 3))
                        .first;
            shared.positions.insert(shared.positions.end(), mesh.positions.begin() + 3 * v,
                                    mesh.positions.begin() + 3 * v + 3);
        }
        shared_of_vertex[v] = found->second;
    }
    shared.vertex_count = static_cast<uint16_t>(shared.positions.size() / 3);
    shared.normals.assign(shared.positions.size(), 0.0f);
    shared.indices.reserve(mesh.indices.size());
    for (uint16_t index : mesh.indices) {
        shared.indices.push_back(shared_of_vertex[index]);
    }
    shared.index_count = mesh.index_count;
    ComputeSmoothNormals(shared);
    for (size_t v = 0; v < count; ++v) {
        for (int k = 0; k < 3; ++k) {
            mesh.normals[3 * v + k] = shared.normals[3 * size_t(shared_of_vertex[v]) + k];
        }
    }
    return {};
}

} // namespace korvane
