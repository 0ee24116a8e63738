#include "draw/scene_shader.h"

#include <vector>

#include "draw/material.h"
#include "draw/shader_gen.h"
#include "draw/shader_program.h"
#include "gl/gl.h"
#include "math/matrices.h"
#include "mesh/mesh_data.h"
#include "mesh/mesh_file.h"
#include "mesh/normals.h"
#include "model/project.h"

namespace korvane {

namespace {

void PointAttribute(GLint location, GLint size, const void* pointer) {
    if (location < 0)
        return;
    glEnableVertexAttribArray(static_cast<GLuint>(location));
    glVertexAttribPointer(static_cast<GLuint>(location), size, GL_FLOAT, GL_FALSE, 0, pointer);
}

void DisableAttribute(GLint location) {
    if (location >= 0)
        glDisableVertexAttribArray(static_cast<GLuint>(location));
}

} // namespace

void DrawInstancesShader(Project& project, const ObjectDraw& draw, uint32_t time,
                         const RenderCaps& caps, float camera_y, float camera_z, float camera_x) {
    Material* material = PoolGet(project.materials, draw.material);
    MeshData& mesh = *draw.mesh;
    if (material == nullptr || mesh.index_count == 0 || draw.instances->empty())
        return;
    if (material->wireframe && !mesh.line_indices)
        GenerateLineIndexArray(mesh);

    // Models come from their buffer objects when the driver has them; dynamic meshes change
    // every frame and always come from client memory. Each stage reads set 1, or its own set
    // when the mesh has that many.
    const MeshFile* file = draw.file;
    const bool buffers =
        caps.vbo && !draw.dynamic_mesh && file != nullptr && file->position_buffer != 0;
    RenderCaps draw_caps = caps;
    draw_caps.vbo = buffers ? 1 : 0;
    TexCoordSources sources;
    for (int stage = 0; stage < kTextureStages; ++stage) {
        const int set = TextureSetForStage(mesh.set_count, stage);
        if (buffers) {
            sources.buffers[stage] = file->texture_set_buffers[set];
        } else {
            const std::vector<float>& coordinates = mesh.texture_sets[set];
            sources.arrays[stage] = coordinates.empty() ? nullptr : coordinates.data();
        }
    }

    const ShaderProgram* program =
        ApplyMaterialShader(*material, project, time, camera_y, camera_x, draw_caps, sources);
    if (program == nullptr)
        return;
    const bool wireframe = material->wireframe != 0;
    if (buffers) {
        glBindBuffer(GL_ARRAY_BUFFER, file->position_buffer);
        PointAttribute(program->position, 3, nullptr);
        glBindBuffer(GL_ARRAY_BUFFER, file->normal_buffer);
        PointAttribute(program->normal, 3, nullptr);
        // Lines are drawn from the client-side line list, so no index buffer then.
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, wireframe ? 0 : file->index_buffer);
    } else {
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        PointAttribute(program->position, 3, mesh.positions.data());
        PointAttribute(program->normal, 3, mesh.normals.data());
    }

    const GLvoid* triangles = buffers ? nullptr : mesh.indices.data();
    for (const ModelInstance& instance : *draw.instances) {
        BuildInstanceMatrix(instance, draw.pen, draw.billboard, camera_y, camera_z, camera_x);
        SetInstanceUniforms(*program);
        if (wireframe)
            glDrawElements(GL_LINES, static_cast<GLsizei>(2 * mesh.index_count), GL_UNSIGNED_SHORT,
                           mesh.line_indices->data());
        else
            glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(mesh.index_count), GL_UNSIGNED_SHORT,
                           triangles);
    }

    DisableAttribute(program->position);
    DisableAttribute(program->normal);
    for (GLint location : program->texcoord_in)
        DisableAttribute(location);
}

} // namespace korvane
