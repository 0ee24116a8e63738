#include "model/project.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace korvane {
namespace {

template <typename Pool> void ExpectEmpty(const Pool& pool, const char* name) {
    SCOPED_TRACE(name);
    EXPECT_EQ(pool.count, 0);
    EXPECT_EQ(pool.next_free, 1);
    EXPECT_EQ(PoolHandleAt(pool, 1), 0);
}

template <typename Visit> void ForEachPool(Project& project, Visit visit) {
    visit(project.scenes, "scenes");
    visit(project.materials, "materials");
    visit(project.lights, "lights");
    visit(project.textures, "textures");
    visit(project.curves, "curves");
    visit(project.effect_textures, "effect textures");
    visit(project.mesh_files, "mesh files");
    visit(project.image_files, "image files");
    visit(project.dynamic_meshes, "dynamic meshes");
    visit(project.texture_refs, "texture references");
    visit(project.cube_maps, "cube maps");
    visit(project.fonts, "fonts");
}

TEST(ProjectTest, NewProjectIsEmpty) {
    std::unique_ptr<Project> project = CreateProject();
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(project->music_file_name, "no_music");
    EXPECT_EQ(project->loading_screen_name, "no_loading_screen");
    EXPECT_EQ(project->music_offset, 0u);
    EXPECT_EQ(project->flag, 0);
    ASSERT_EQ(project->timeline.tracks.size(), 24u);
    for (const Track& track : project->timeline.tracks) {
        EXPECT_EQ(track.end_time, 0u);
        EXPECT_TRUE(std::all_of(track.second_index.begin(), track.second_index.end(),
                                [](uint16_t entry) { return entry == 0; }));
        ExpectEmpty(track.layers, "layers");
    }
    ForEachPool(*project, [](const auto& pool, const char* name) { ExpectEmpty(pool, name); });
}

TEST(ProjectTest, DestroyReleasesEmptyAndFilledProjects) {
    DestroyProject(nullptr);
    DestroyProject(CreateProject());

    // Curves are the one element kind of the project itself; the sanitizer build reports
    // them if they outlive the project.
    std::unique_ptr<Project> project = CreateProject();
    for (int i = 1; i <= 20; ++i) {
        ASSERT_EQ(PoolAdd(project->curves), i);
    }
    PoolGet(project->curves, 3)->segment_count = 1;
    DestroyProject(std::move(project));
}

} // namespace
} // namespace korvane
