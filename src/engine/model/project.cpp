#include "model/project.h"

#include <utility>

namespace korvane {

std::unique_ptr<Project> CreateProject() {
    return std::make_unique<Project>();
}

void DestroyProject(std::unique_ptr<Project> project) {
    if (!project) {
        return;
    }
    // The layer lists, then the scenes (each scene's object list goes with it), curves,
    // materials and lights, as the player has always released a project; then the other
    // eight pools in the project's own order. Their elements release their GL objects too,
    // so the GL context must still be current.
    for (Track& track : project->timeline.tracks) {
        DestroyPool(track.layers);
    }
    DestroyPool(project->scenes);
    DestroyPool(project->curves);
    DestroyPool(project->materials);
    DestroyPool(project->lights);
    DestroyPool(project->textures);
    DestroyPool(project->effect_textures);
    DestroyPool(project->mesh_files);
    DestroyPool(project->image_files);
    DestroyPool(project->dynamic_meshes);
    DestroyPool(project->texture_refs);
    DestroyPool(project->cube_maps);
    DestroyPool(project->fonts);
    project.reset();
}

} // namespace korvane
