#include "mesh/normals.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace korvane {

namespace {

// Faces that touched each vertex. Kept between calls: the dynamic meshes recompute their
// normals every frame, and all of that happens on the main thread.
thread_local std::vector<uint32_t> face_counts;

} // namespace

void ComputeSmoothNormals(const float* positions, float* normals, uint32_t vertex_count,
                          const uint16_t* indices, uint32_t index_count) {
    if (face_counts.size() < vertex_count) {
        face_counts.resize(vertex_count);
    }
    uint32_t* counts = face_counts.data();
    for (uint32_t v = 0; v < vertex_count; ++v) {
        counts[v] = 0;
    }
    for (uint32_t n = 0; n < 3 * vertex_count; ++n) {
        normals[n] = 0.0f;
    }
    const uint32_t triangle_end = index_count - index_count % 3;
    for (uint32_t t = 0; t < triangle_end; t += 3) {
        const uint32_t i0 = indices[t];
        const uint32_t i1 = indices[t + 1];
        const uint32_t i2 = indices[t + 2];
        ++counts[i0];
        ++counts[i1];
        ++counts[i2];
        const float* p0 = positions + 3 * i0;
        const float* p1 = positions + 3 * i1;
        const float* p2 = positions + 3 * i2;
        const float ax = p0[0] - p1[0], ay = p0[1] - p1[1], az = p0[2] - p1[2];
        const float bx = p1[0] - p2[0], by = p1[1] - p2[1], bz = p1[2] - p2[2];
        const float nx = ay * bz - az * by;
        const float ny = az * bx - ax * bz;
        const float nz = ax * by - ay * bx;
        float length = std::sqrt(nx * nx + ny * ny + nz * nz);
        // A degenerate triangle keeps its tiny cross product instead of a blown-up direction.
        if (length < 0.001) {
            length = 1.0f;
        }
        const float scale = 1.0f / length;
        const float ux = nx * scale, uy = ny * scale, uz = nz * scale;
        for (const uint32_t i : {i0, i1, i2}) {
            float* normal = normals + 3 * i;
            normal[0] += ux;
            normal[1] += uy;
            normal[2] += uz;
        }
    }
    for (uint32_t v = 0; v < vertex_count; ++v) {
        if (counts[v] > 1) {
            const float scale = 1.0f / static_cast<float>(counts[v]);
            normals[3 * v] *= scale;
            normals[3 * v + 1] *= scale;
            normals[3 * v + 2] *= scale;
        }
    }
}

void ComputeSmoothNormals(MeshData& mesh) {
    ComputeSmoothNormals(mesh.positions.data(), mesh.normals.data(), mesh.vertex_count,
                         mesh.indices.data(), mesh.index_count);
}

void GenerateLineIndexArray(MeshData& mesh) {
    std::fputs(kGenerateLineIndexArrayLine, stdout);
    if (mesh.line_indices) {
        return;
    }
    const uint32_t triangles = mesh.index_count / 3;
    std::vector<uint16_t> lines(size_t{triangles} * 6);
    for (uint32_t t = 0; t < triangles; ++t) {
        const uint16_t a = mesh.indices[3 * t];
        const uint16_t b = mesh.indices[3 * t + 1];
        const uint16_t c = mesh.indices[3 * t + 2];
        uint16_t* line = lines.data() + 6 * size_t{t};
        line[0] = a;
        line[1] = b;
        line[2] = b;
        line[3] = c;
        line[4] = c;
        line[5] = a;
    }
    mesh.line_indices = std::move(lines);
}

} // namespace korvane
