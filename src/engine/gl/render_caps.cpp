#include "gl/render_caps.h"

namespace korvane {

namespace {
RenderCaps render_caps;
RenderCaps loading_render_caps;
TextureFormatTable texture_format_table = BuildTextureFormatTable(false);
uint8_t renderer_flag = kRendererGlsl;
} // namespace

RenderCaps LoadingCopyOf(const RenderCaps& caps) {
    RenderCaps copy = caps;
    copy.vbo = 0;
    copy.pbo = 0;
    copy.npot = 0;
    return copy;
}

TextureFormatTable BuildTextureFormatTable(bool compression) {
    // GL_RGB, GL_RGBA, GL_LUMINANCE, GL_LUMINANCE_ALPHA, then their compressed forms.
    constexpr uint32_t plain[4] = {0x1907, 0x1908, 0x1909, 0x190A};
    constexpr uint32_t compressed[4] = {0x84ED, 0x84EE, 0x84EA, 0x84EB};
    TextureFormatTable table{};
    for (int i = 0; i < 4; ++i) {
        table[i] = plain[i];
        table[i + 4] = compression ? compressed[i] : plain[i];
    }
    return table;
}

const RenderCaps& GetRenderCaps() {
    return render_caps;
}
const RenderCaps& GetLoadingRenderCaps() {
    return loading_render_caps;
}
const TextureFormatTable& GetTextureFormatTable() {
    return texture_format_table;
}
uint8_t GetRendererFlag() {
    return renderer_flag;
}

void SetRenderCaps(const RenderCaps& caps) {
    render_caps = caps;
    loading_render_caps = LoadingCopyOf(caps);
}

void SetTextureFormatTable(const TextureFormatTable& table) {
    texture_format_table = table;
}
void SetRendererFlag(uint8_t flag) {
    renderer_flag = flag;
}

} // namespace korvane
