#include "frame/timeline.h"

#include <algorithm>

#include "draw/light.h"
#include "draw/scene.h"
#include "gl/gl.h"
#include "math/matrices.h"
#include "model/project.h"

namespace korvane {

namespace {

// Second-index entries never hold this in a loaded timeline, but a track whose entry does
// is taken to have nothing at that second.
constexpr uint16_t kNoLayer = 0xFFFF;

// Grows the second index of every track, so that all tracks always cover the same seconds
// and a second past the index is past every layer of every track.
void GrowSecondIndex(Timeline& timeline, uint32_t seconds) {
    for (Track& track : timeline.tracks)
        if (track.second_index.size() < seconds)
            track.second_index.resize(seconds, 0);
}

} // namespace

void AddLayerToTimeline(uint32_t start, uint32_t end, uint32_t position, uint32_t track_number,
                        Timeline& timeline) {
    if (track_number >= static_cast<uint32_t>(kTrackCount))
        return;
    Track& track = timeline.tracks[track_number];
    track.end_time = std::max(track.end_time, end);
    if (Layer* layer = PoolGetAt(track.layers, position + 1))
        layer->end = end;

    uint32_t first_second;
    if (start % 100 == 0) {
        first_second = start / 100;
    } else {
        // A layer within one second gets no entry: the walk finds it from the layer
        // before it.
        if (end - (start - start % 100) <= 99)
            return;
        first_second = start / 100 + 1;
    }
    uint32_t last_second = std::min(end, kLongestProduction) / 100;
    GrowSecondIndex(timeline, last_second + 1);
    for (uint32_t second = first_second; second <= last_second; ++second)
        track.second_index[second] = static_cast<uint16_t>(position);
}

ActiveLayer FindActiveLayer(Track& track, uint32_t time) {
    ActiveLayer active;
    uint32_t second = time / 100;
    if (second >= track.second_index.size() || track.second_index[second] == kNoLayer)
        return active;
    uint32_t position = track.second_index[second];
    uint32_t count = track.layers.count;
    while (position < count && time > PoolGetAt(track.layers, position + 1)->end)
        ++position;
    if (position >= count)
        return active;
    Layer* layer = PoolGetAt(track.layers, position + 1);
    uint32_t previous_end = position == 0 ? 0 : PoolGetAt(track.layers, position)->end;
    // The idle part before the layer's active part draws nothing.
    if (static_cast<int64_t>(time) < int64_t{previous_end} + layer->space_before)
        return active;
    uint32_t local_time = time - previous_end - static_cast<uint32_t>(layer->space_before);
    active.layer = layer;
    active.evaluation_time = local_time + static_cast<uint32_t>(layer->offset);
    return active;
}

int32_t RenderProject(Project& project, uint32_t time, uint32_t window_width,
                      uint32_t window_height, const Viewport& viewport, const RenderCaps& caps,
                      uint8_t renderer_flag) {
    Track& first_track = project.timeline.tracks[0];
    if (first_track.layers.count == 0)
        return 0;
    uint32_t second = time / 100;
    if (second >= first_track.second_index.size() || first_track.second_index[second] == kNoLayer)
        return 0;

    BeginFrameTargets(caps, window_width, window_height, viewport, renderer_flag);
    MatrixSet& matrices = GetMatrixSet();
    int32_t drawn = 0;
    for (Track& track : project.timeline.tracks) {
        ActiveLayer active = FindActiveLayer(track, time);
        if (active.layer == nullptr)
            continue;
        const Layer& layer = *active.layer;
        const uint32_t t = active.evaluation_time;
        auto value = [&](LayerValue n) {
            bool dynamic = n == kLayerFieldOfView
                               ? layer.projection == ProjectionKind::kAnimatedPerspective
                               : (layer.dynamic_bits & kLayerDynamicBit[n]) != 0;
            return ResolveAnimatedValue(layer.values[n], dynamic, t, project.curves);
        };
        float position_x = value(kLayerPositionX);
        float position_y = value(kLayerPositionY);
        float position_z = value(kLayerPositionZ);
        float rotation_x = value(kLayerRotationX);
        float rotation_y = value(kLayerRotationY);
        float rotation_z = value(kLayerRotationZ);
        float far_plane = value(kLayerFar);
        float aspect = value(kLayerAspect);

        float clear[3] = {0.0f, 0.0f, 0.0f};
        if (layer.clear_light != 0) {
            if (const Light* light = PoolGet(project.lights, layer.clear_light)) {
                clear[0] = ResolveLightValue(*light, kLightDiffuseRed, t, project.curves);
                clear[1] = ResolveLightValue(*light, kLightDiffuseGreen, t, project.curves);
                clear[2] = ResolveLightValue(*light, kLightDiffuseBlue, t, project.curves);
            }
        }
        glClearColor(clear[0], clear[1], clear[2], 1.0f);

        RenderType type = layer.render_type;
        if (type != RenderType::kRenderToCubemap && type != RenderType::kLinkWithPrevious)
            SelectLayerTarget(layer, project.image_files);

        if (layer.projection == ProjectionKind::kOrthographic) {
            // x from 0 at the left to 1 at the right, y from 0 at the top to 1 at the bottom.
            SetOrthographic(0.0f, 1.0f, 1.0f, 0.0f, -1.0f, 1.0f);
        } else {
            SetPerspective(value(kLayerFieldOfView), aspect, 0.1f, far_plane);
        }
        if (renderer_flag == kRendererFixed)
            LoadMatrix(MatrixSlot::kProjection);

        int passes = 1;
        if (type == RenderType::kRenderToCubemap) {
            BeginCubeMap(layer, project.cube_maps, project.image_files);
            passes = 6;
        } else if (type == RenderType::kCubemapToTexture) {
            passes = 6;
        }

        if (layer.clear_flags & 1)
            glClear(GL_COLOR_BUFFER_BIT);
        if (layer.clear_flags & 2)
            glClear(GL_DEPTH_BUFFER_BIT);

        bool layer_drew = false;
        for (int pass = 0; pass < passes; ++pass) {
            CameraAngles angles{rotation_z, rotation_x, rotation_y};
            if (type == RenderType::kRenderToCubemap)
                angles = SelectCubeFace(pass, layer);
            else if (type == RenderType::kCubemapToTexture)
                angles = SelectCubeTile(pass, project.image_files);

            matrices.view = matrices.identity;
            RotateZ(MatrixSlot::kView, angles.z);
            RotateX(MatrixSlot::kView, angles.x);
            RotateY(MatrixSlot::kView, angles.y);
            Translate(MatrixSlot::kView, -position_x, -position_y, -position_z);

            if (layer.scene != 0) {
                DrawScene(project, layer.scene, t, caps, renderer_flag, angles.y, angles.z,
                          angles.x);
                layer_drew = true;
            }
        }
        if (type == RenderType::kRenderToCubemap)
            FinishCubeMap();
        if (layer_drew)
            ++drawn;
    }
    FinishFrameTargets(project.image_files);
    return drawn;
}

} // namespace korvane
