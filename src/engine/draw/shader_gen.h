// Generated GLSL programs of materials: the program record, the vertex and fragment texts
// written from a material, sharing of identical programs between materials, compiling and
// linking, and applying a material's program before its meshes are drawn.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "draw/material.h"

namespace korvane {

struct Light;
struct FunctionCurve;

// Attribute and uniform locations: -1 means the program has no such name.
struct ShaderProgram {
    std::string vertex_text;
    std::string fragment_text;
    uint32_t vertex_length = 0;
    uint32_t fragment_length = 0;
    // "VS:" + vertex log (at most 250 characters) + "\n" + "FS:" + fragment log (at most 250).
    std::string compile_log;
    uint32_t vertex_shader = 0; // GL names, 0 = not created yet
    uint32_t fragment_shader = 0;
    uint32_t program = 0;
    uint32_t shared_from = 0; // material handle whose program is used; 0 = owns its program
    int32_t modelmatrix = -1;
    int32_t viewmatrix = -1;
    int32_t projection = -1;
    int32_t modelview = -1;
    int32_t position = -1;
    std::array<int32_t, kTextureStages> texcoord_in{-1, -1, -1}; // "TexCoordIn1" ... "3"
    int32_t normal_matrix = -1;
    int32_t texture_matrix = -1;
    int32_t normal = -1;
    std::array<uint32_t, kUniformSlots> uniform_curves{}; // curve handle of "uN", 0 = none
    std::array<int32_t, kUniformSlots> uniform_locations{};
    int32_t light_position1 = -1;
    int32_t light_position2 = -1;
    // Set once a failed compile or link has been reported, so a program is reported once.
    uint8_t failure_reported = 0;

    ShaderProgram() { uniform_locations.fill(-1); }
    ~ShaderProgram(); // deletes the GL objects this record created, when a context exists
    ShaderProgram(const ShaderProgram&) = delete;
    ShaderProgram& operator=(const ShaderProgram&) = delete;
};

} // namespace korvane
