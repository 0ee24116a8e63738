// The Project: one loaded production. It owns the timeline of 24 tracks and one pool per
// element kind; through the pools it owns every element, so releasing it releases all.
// Element records are defined by their own subsystems and only named here.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/curve.h"
#include "model/pool.h"

namespace korvane {

struct Scene;
struct Material;
struct Light;
struct ProceduralTexture;
struct EffectTexture;
struct MeshFile;
struct ImageTexture;
struct DynamicMesh;
struct TextureRef;
struct CubeMapTexture;
struct Font;
struct Layer;

constexpr int kTrackCount = 24;
// One entry per whole second. Every track starts with 12 minutes; the timeline grows all
// tracks together when a layer reaches further (AddLayerToTimeline).
constexpr int kSecondIndexLength = 720;

inline constexpr char kNoMusic[] = "no_music";
inline constexpr char kNoLoadingScreen[] = "no_loading_screen";

struct Track {
    // For each second, the 0-based position of the layer a search for the current one
    // starts from.
    std::vector<uint16_t> second_index = std::vector<uint16_t>(kSecondIndexLength, 0);
    uint32_t end_time = 0;           // end of the last layer entered, in hundredths of a second
    SmallResourcePool<Layer> layers; // in playing order
};

struct Timeline {
    std::array<Track, kTrackCount> tracks;
};

struct Project {
    std::string music_file_name = kNoMusic; // not read by the player
    uint32_t music_offset = 0;              // demo time in milliseconds when the music starts
    std::string loading_screen_name = kNoLoadingScreen; // not read by the player
    uint8_t flag = 0;                                   // not read by the player
    Timeline timeline;
    ResourcePool<Scene> scenes; // each scene owns the pool of its objects
    ResourcePool<Material> materials;
    ResourcePool<Light> lights;
    ResourcePool<ProceduralTexture> textures;
    ResourcePool<FunctionCurve> curves;
    ResourcePool<EffectTexture> effect_textures;
    ResourcePool<MeshFile> mesh_files;
    ResourcePool<ImageTexture> image_files;
    ResourcePool<DynamicMesh> dynamic_meshes;
    ResourcePool<TextureRef> texture_refs;
    ResourcePool<CubeMapTexture> cube_maps;
    ResourcePool<Font> fonts;
};

// An empty project: 24 empty tracks, twelve empty pools, no music and no loading screen.
std::unique_ptr<Project> CreateProject();

// Releases a project and everything it holds (nothing for none).
void DestroyProject(std::unique_ptr<Project> project);

} // namespace korvane
