// Checking a project document before anything is built from it: each section's check looks
// at what its loader will read (attributes, handles of earlier items, counts within their
// capacity) and every problem becomes one line naming document, section, item and problem.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

struct XmlNode;

// The sections of a project document in their fixed order: the fourteen a Project is built
// from, then the music element.
enum DocumentSection : uint8_t {
    kTextureOperatorsSection = 0,
    kTexturesSection = 1,
    kMeshFilesSection = 2,
    kCurvesSection = 3,
    kLightsSection = 4,
    kEffectTexturesSection = 5,
    kImageFilesSection = 6,
    kCubeMapsSection = 7,
    kFontsSection = 8,
    kTextureReferencesSection = 9,
    kMaterialsSection = 10,
    kDynamicMeshesSection = 11,
    kScenesSection = 12,
    kTracksSection = 13,
    kMusicSection = 14,
};
constexpr int kBuildSectionCount = 14;
constexpr int kDocumentSectionCount = 15;

// How problem lines name the sections.
inline constexpr std::array<const char*, kDocumentSectionCount> kSectionNames = {
    "texture operators",  "textures",       "mesh files", "curves", "lights",
    "2D-effect textures", "image files",    "cube maps",  "fonts",  "texture references",
    "materials",          "dynamic meshes", "scenes",     "tracks", "music",
};

// The sections of a parsed document: the root's first child is the top element and its
// children are the sections, by position only (no name is looked at).
struct DocumentOutline {
    const XmlNode* top = nullptr; // none for a document without any element
    uint32_t section_count = 0;   // children of the top element, all of them
    std::array<const XmlNode*, kDocumentSectionCount> sections{}; // none past the last one
};
DocumentOutline OutlineDocument(const XmlNode& root);

uint32_t CountXmlChildren(const XmlNode& node);

// Checks a parsed document and appends one line per problem, such as
// "Error: demo.xmlz: tracks, track 1, layer 3: scene 7 does not exist." The music section is
// required and checked only when it will be read. When sections are missing, the one line
// naming the first of them is all: what follows cannot be told apart. True when the
// document has no problem.
bool ValidateDocument(const XmlNode& root, const char* document_name, bool read_music,
                      std::vector<std::string>& problems);

} // namespace korvane
