#include "draw/shader_program.h"

#include <cstdio>
#include <cstring>

#include "draw/light.h"
#include "gl/gl.h"
#include "math/matrices.h"
#include "model/curve.h"
#include "model/project.h"

namespace korvane {

namespace {

// The blend table of materials: source and destination factors and the equation of rows 0
// to 4 (alpha blending, additive, opaque, premultiplied alpha, subtractive). The
// fixed-function unit keeps the same table; this one also builds for OpenGL ES 2.
struct ShaderBlendRow {
    GLenum source;
    GLenum destination;
    GLenum equation;
};
constexpr std::array<ShaderBlendRow, 5> kShaderBlendTable = {{
    {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_ADD},
    {GL_ONE, GL_ONE, GL_FUNC_ADD},
    {GL_ONE, GL_ZERO, GL_FUNC_ADD},
    {GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_ADD},
    {GL_SRC_ALPHA, GL_ONE, GL_FUNC_REVERSE_SUBTRACT},
}};

// The driver's log of one shader is kept to this many characters in the record.
constexpr int kShaderLogCharacters = 250;

constexpr char kNoShaderObjects[] = "OpenGL 2.0 shader objects are not available";
constexpr char kProgramFailure[] = "Error: material %u: the shader program does not link: %s\n";

// Compiles one shader (creating it first when the record has none) and appends up to 250
// characters of its log to the record's compile log.
bool CompileShader(uint32_t& name, GLenum kind, const std::string& source, uint32_t length,
                   std::string& compile_log, std::string& log_out) {
    if (name == 0)
        name = glCreateShader(kind);
#if defined(KORVANE_GLES2)
    // OpenGL ES fragment shaders must choose a float precision; desktop GLSL ignores none.
    const char* pieces[2] = {"precision mediump float;\n", source.c_str()};
    const GLint lengths[2] = {static_cast<GLint>(std::strlen(pieces[0])),
                              static_cast<GLint>(length)};
    const GLsizei first = kind == GL_FRAGMENT_SHADER ? 0 : 1;
    glShaderSource(name, 2 - first, pieces + first, lengths + first);
#else
    const char* text = source.c_str();
    const GLint text_length = static_cast<GLint>(length);
    glShaderSource(name, 1, &text, &text_length);
#endif
    glCompileShader(name);
    char log[kShaderLogCharacters + 1] = {};
    GLsizei log_length = 0;
    glGetShaderInfoLog(name, sizeof log, &log_length, log);
    log_out.assign(log, static_cast<size_t>(log_length));
    compile_log += log_out;
    GLint compiled = GL_FALSE;
    glGetShaderiv(name, GL_COMPILE_STATUS, &compiled);
    return compiled == GL_TRUE;
}

// A driver log as part of a one-line message: line breaks become spaces and the blanks at
// the ends go.
std::string OneLine(const std::string& log) {
    std::string line;
    for (char c : log) {
        const bool blank = c == '\n' || c == '\r' || c == ' ' || c == '\t';
        if (blank) {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

const char* const kUniformNames[kUniformSlots] = {
    "u1",  "u2",  "u3",  "u4",  "u5",  "u6",  "u7",  "u8",  "u9",  "u10", "u11", "u12",
    "u13", "u14", "u15", "u16", "u17", "u18", "u19", "u20", "u21", "u22", "u23", "u24"};
const char* const kTexCoordInNames[kTextureStages] = {"TexCoordIn1", "TexCoordIn2", "TexCoordIn3"};
const char* const kSamplerNames[kTextureStages] = {"Texture0", "Texture1", "Texture2"};

void LookUpLocations(ShaderProgram& record, const Material& material) {
    const GLuint program = record.program;
    record.modelmatrix = record.viewmatrix = record.projection = record.modelview = -1;
    record.position = record.normal_matrix = record.texture_matrix = record.normal = -1;
    record.texcoord_in.fill(-1);
    record.uniform_locations.fill(-1);
    record.light_position1 = record.light_position2 = -1;
    // An unlinked program has no locations; asking would only raise GL errors.
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE)
        return;

    record.modelmatrix = glGetUniformLocation(program, "Modelmatrix");
    record.viewmatrix = glGetUniformLocation(program, "Viewmatrix");
    record.projection = glGetUniformLocation(program, "Projection");
    record.modelview = glGetUniformLocation(program, "Modelview");
    record.position = glGetAttribLocation(program, "Position");
    for (int i = 0; i < kTextureStages; ++i) {
        if (material.textures[i] != 0 && material.coordinate_generation[i] == kModelGeneration)
            record.texcoord_in[i] = glGetAttribLocation(program, kTexCoordInNames[i]);
    }
    for (int i = 0; i < kTextureStages; ++i) {
        if (material.textures[i] == 0)
            continue;
        const GLint sampler = glGetUniformLocation(program, kSamplerNames[i]);
        if (sampler >= 0)
            glUniform1i(sampler, i);
    }
    record.normal_matrix = glGetUniformLocation(program, "NormalMatrix");
    record.normal = glGetAttribLocation(program, "Normal");
    record.texture_matrix = glGetUniformLocation(program, "TextureMatrix");
    for (int i = 0; i < kUniformSlots; ++i)
        record.uniform_locations[i] = glGetUniformLocation(program, kUniformNames[i]);
    record.light_position1 = glGetUniformLocation(program, "LightPosition1");
    record.light_position2 = glGetUniformLocation(program, "LightPosition2");
}

// Whether OpenGL 2.0 shader objects can be called: documents are also loaded without a GL
// context (checks, tests), and then programs are written and shared but not built.
bool ShaderObjectsAvailable() {
#if defined(KORVANE_GLES2)
    return true;
#else
    return glCreateShader != nullptr;
#endif
}

} // namespace

ProgramBuildStatus BuildShaderProgram(Material& material, ProgramRecord which) {
    if (which == ProgramRecord::kCustom) {
        if (!material.shader_program)
            material.shader_program = std::make_unique<ShaderProgram>();
        ShaderProgram& record = *material.shader_program;
        record.vertex_text = material.custom.vertex_shader;
        record.fragment_text = material.custom.fragment_shader;
        record.vertex_length = static_cast<uint32_t>(record.vertex_text.size());
        record.fragment_length = static_cast<uint32_t>(record.fragment_text.size());
        record.uniform_curves = material.custom.uniform_curves;
        record.shared_from = 0;
    }
    ProgramBuildStatus status;
    if (!material.shader_program)
        return status;
    ShaderProgram& record = *material.shader_program;
    if (!ShaderObjectsAvailable()) {
        status.link_log = kNoShaderObjects;
        return status;
    }

    record.compile_log = "VS:";
    status.vertex_compiled =
        CompileShader(record.vertex_shader, GL_VERTEX_SHADER, record.vertex_text,
                      record.vertex_length, record.compile_log, status.vertex_log);
    record.compile_log += "\nFS:";
    status.fragment_compiled =
        CompileShader(record.fragment_shader, GL_FRAGMENT_SHADER, record.fragment_text,
                      record.fragment_length, record.compile_log, status.fragment_log);

    if (record.program == 0) {
        record.program = glCreateProgram();
    } else {
        glDetachShader(record.program, record.vertex_shader);
        glDetachShader(record.program, record.fragment_shader);
    }
    glAttachShader(record.program, record.vertex_shader);
    glAttachShader(record.program, record.fragment_shader);
    glLinkProgram(record.program);
    GLint linked = GL_FALSE;
    glGetProgramiv(record.program, GL_LINK_STATUS, &linked);
    status.linked = linked == GL_TRUE;
    if (status.linked) {
        glUseProgram(record.program);
    } else {
        GLint length = 0;
        glGetProgramiv(record.program, GL_INFO_LOG_LENGTH, &length);
        if (length > 1) {
            std::string log(static_cast<size_t>(length), '\0');
            GLsizei written = 0;
            glGetProgramInfoLog(record.program, length, &written, log.data());
            log.resize(static_cast<size_t>(written));
            status.link_log = std::move(log);
        }
    }
    LookUpLocations(record, material);
    return status;
}

std::string ProgramFailureLine(uint32_t material, const ProgramBuildStatus& status) {
    // Each log that has text is named; the link log only when both shaders compiled, since
    // otherwise it merely repeats that they did not.
    std::string logs;
    auto add = [&logs](const char* label, const std::string& text) {
        const std::string line = OneLine(text);
        if (line.empty())
            return;
        if (!logs.empty())
            logs += ' ';
        logs += label;
        logs += ' ';
        logs += line;
    };
    add("VS:", status.vertex_log);
    add("FS:", status.fragment_log);
    if (status.vertex_compiled && status.fragment_compiled)
        add("link:", status.link_log);
    if (logs.empty())
        logs = "the driver gave no log";
    const int size =
        std::snprintf(nullptr, 0, kProgramFailure, static_cast<unsigned>(material), logs.c_str());
    std::string line(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(line.data(), line.size(), kProgramFailure, static_cast<unsigned>(material),
                  logs.c_str());
    line.resize(static_cast<size_t>(size));
    return line;
}

bool PrepareMaterialProgram(ResourcePool<Material>& materials, uint32_t material,
                            const ResourcePool<Light>& lights,
                            const ResourcePool<TextureRef>& texture_refs,
                            ProgramShareIndex& index) {
    Material* record = PoolGet(materials, material);
    if (record == nullptr)
        return true;
    ProgramBuildStatus status;
    if (record->use_custom_shaders) {
        if (!ShaderObjectsAvailable())
            return true;
        status = BuildShaderProgram(*record, ProgramRecord::kCustom);
    } else {
        GenerateMaterialShaders(*record, lights, texture_refs);
        record->shader_program->shared_from = FindSharedProgram(materials, material, index);
        if (record->shader_program->shared_from != 0 || !ShaderObjectsAvailable())
            return true;
        status = BuildShaderProgram(*record, ProgramRecord::kGenerated);
    }
    if (status.ok())
        return true;
    std::fputs(ProgramFailureLine(material, status).c_str(), stdout);
    return false;
}

ShaderProgram* ProgramInUse(Material& material, ResourcePool<Material>& materials) {
    ShaderProgram* own = material.shader_program.get();
    if (own == nullptr || material.use_custom_shaders || own->shared_from == 0)
        return own;
    Material* owner = PoolGet(materials, own->shared_from);
    return owner != nullptr ? owner->shader_program.get() : nullptr;
}

uint32_t EvaluateUniformSlots(const Material& material, const ShaderProgram& in_use,
                              ResourcePool<FunctionCurve>& curves, uint32_t time,
                              std::array<float, kUniformSlots>& values) {
    const ShaderProgram* own = material.shader_program.get();
    if (own == nullptr)
        return 0;
    const std::array<uint32_t, kUniformSlots>& own_curves =
        material.use_custom_shaders ? material.custom.uniform_curves : own->uniform_curves;
    uint32_t slots = 0;
    for (int i = 0; i < kUniformSlots; ++i) {
        if (in_use.uniform_locations[i] >= 0 && in_use.uniform_curves[i] != 0) {
            values[i] = EvaluateCurveHandle(curves, own_curves[i], time);
            slots |= 1u << i;
        }
    }
    return slots;
}

ShaderProgram* ApplyMaterialShader(Material& material, Project& project, uint32_t time,
                                   float camera_y, float camera_x, const RenderCaps& caps,
                                   const TexCoordSources& sources) {
    // The shader path updates 2D effects without pixel buffers.
    RenderCaps resolve_caps = caps;
    resolve_caps.pbo = 0;
    std::array<ResolvedTexture, kTextureStages> stages{};
    for (int i = 0; i < kTextureStages; ++i) {
        if (material.textures[i] != 0)
            stages[i] = ResolveTextureRef(project, material.textures[i], time, resolve_caps);
    }

    if (material.backface_culling)
        glEnable(GL_CULL_FACE);
    else
        glDisable(GL_CULL_FACE);
    if (material.depth_test)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    if (material.wireframe) {
        glLineWidth(ResolveAnimatedValue(material.values[kMaterialLineWidth],
                                         material.dynamic[kMaterialLineWidth] != 0, time,
                                         project.curves));
    }

    // Rows above the table leave the blend state of the previous draw. The equation is always
    // set: OpenGL 2.0, which the shader path needs, has it.
    if (material.blend_function < kShaderBlendTable.size()) {
        const ShaderBlendRow& row = kShaderBlendTable[material.blend_function];
        glBlendFunc(row.source, row.destination);
        glBlendEquation(row.equation);
    }

    ShaderProgram* program = ProgramInUse(material, project.materials);
    if (program == nullptr)
        return nullptr;
    glUseProgram(program->program);

    MatrixSet& matrices = GetMatrixSet();
    bool any_stage = false;
    for (int i = 0; i < kTextureStages; ++i) {
        if (material.textures[i] == 0)
            continue;
        any_stage = true;
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(stages[i].cube_map ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D,
                      stages[i].gl_texture);
        // The wrap mode goes to the unit's 2D target, as on the fixed-function path.
        if (material.wrap_modes[i] == 0 || material.wrap_modes[i] == 1) {
            const GLint wrap = material.wrap_modes[i] == 0 ? GL_REPEAT : GL_CLAMP_TO_EDGE;
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
        }
        const GLint attribute = program->texcoord_in[i];
        if (material.coordinate_generation[i] == kModelGeneration && attribute >= 0) {
            glEnableVertexAttribArray(static_cast<GLuint>(attribute));
            if (caps.vbo) {
                glBindBuffer(GL_ARRAY_BUFFER, sources.buffers[i]);
                glVertexAttribPointer(static_cast<GLuint>(attribute), 2, GL_FLOAT, GL_FALSE, 0,
                                      nullptr);
            } else {
                glBindBuffer(GL_ARRAY_BUFFER, 0);
                glVertexAttribPointer(static_cast<GLuint>(attribute), 2, GL_FLOAT, GL_FALSE, 0,
                                      sources.arrays[i]);
            }
        }
        // The generated code multiplies by the transpose, so these turn the opposite way to
        // the fixed-function matrices and have the same effect.
        if (material.rotation[i]) {
            matrices.texture = matrices.identity;
            RotateZ(MatrixSlot::kTexture, camera_y);
        } else if (stages[i].cube_map) {
            matrices.texture = matrices.identity;
            RotateX(MatrixSlot::kTexture, camera_x);
            RotateY(MatrixSlot::kTexture, camera_y);
        }
    }
    // One matrix serves every stage: the last stage set decides it.
    if (any_stage && program->texture_matrix >= 0)
        glUniformMatrix4fv(program->texture_matrix, 1, GL_FALSE, matrices.texture.data());

    std::array<float, kUniformSlots> values;
    const uint32_t slots = EvaluateUniformSlots(material, *program, project.curves, time, values);
    for (int i = 0; i < kUniformSlots; ++i) {
        if (slots & (1u << i))
            glUniform1f(program->uniform_locations[i], values[i]);
    }

    const uint32_t light_handles[2] = {material.light1, material.light2};
    const GLint light_locations[2] = {program->light_position1, program->light_position2};
    for (int l = 0; l < 2; ++l) {
        if (light_locations[l] < 0 || light_handles[l] == 0)
            continue;
        const Light* light = PoolGet(project.lights, light_handles[l]);
        if (light == nullptr)
            continue;
        glUniform4f(light_locations[l],
                    ResolveLightValue(*light, kLightPositionX, time, project.curves),
                    ResolveLightValue(*light, kLightPositionY, time, project.curves),
                    ResolveLightValue(*light, kLightPositionZ, time, project.curves), 1.0f);
    }
    return program;
}

void SetInstanceUniforms(const ShaderProgram& program) {
    ComputeModelview();
    ComputeNormalMatrix();
    const MatrixSet& matrices = GetMatrixSet();
    if (program.modelmatrix >= 0)
        glUniformMatrix4fv(program.modelmatrix, 1, GL_FALSE, matrices.model.data());
    if (program.viewmatrix >= 0)
        glUniformMatrix4fv(program.viewmatrix, 1, GL_FALSE, matrices.view.data());
    if (program.projection >= 0)
        glUniformMatrix4fv(program.projection, 1, GL_FALSE, matrices.projection.data());
    if (program.modelview >= 0)
        glUniformMatrix4fv(program.modelview, 1, GL_FALSE, matrices.modelview.data());
    if (program.normal_matrix >= 0)
        glUniformMatrix3fv(program.normal_matrix, 1, GL_FALSE, matrices.normal.data());
}

} // namespace korvane
