// Loading a production: a project document fetched from the package, checked, and walked
// section by section into a Project, each item handed to the subsystem that owns its kind.
// While "demo.xmlz" loads, the caller's progress function is asked to show the loading
// screen with the load percentage.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/xml.h"
#include "gl/render_caps.h"

namespace korvane {

struct Project;

inline constexpr char kLoadingDocument[] = "loading.xmlz";
inline constexpr char kDemoDocument[] = "demo.xmlz";

struct LoadOptions {
    // The RenderCaps the project is built with: the loading copy for "loading.xmlz".
    RenderCaps caps;
    // Whether the fifteenth section (music) is read: "demo.xmlz" with music switched on.
    bool read_music = false;
    // Called at every progress check with the load percentage (0 ... 100); it decides
    // whether a loading-screen frame is due. Empty: no progress display.
    std::function<void(uint32_t percent)> progress;
};

enum class LoadStatus {
    kLoaded,
    kAbsent, // the package has no such document: the project stays empty
    kFailed, // the document cannot be played; error says why
};

struct LoadResult {
    LoadStatus status = LoadStatus::kAbsent;
    // One line naming the document, the section, the item and the problem, e.g.
    // "Error: demo.xmlz: tracks, track 1, layer 3: scene 7 does not exist."
    std::string error;
    // The document tree, kept for the music set-up after loading; the caller frees it.
    std::unique_ptr<XmlNode> root;
    // The music element (the fifteenth section) inside root, when it was read.
    const XmlNode* music = nullptr;
};

// Fills an empty project from the named document of the package. A document the package
// does not hold leaves the project empty (kAbsent); a damaged one, or one that does not pass
// ValidateDocument, leaves it empty too (kFailed, with the first problem as the error): the
// document is checked as a whole before anything is built. Without read_music the tree is
// freed as soon as the tracks are done; with it, it is handed back for the music set-up.
LoadResult LoadProject(Project& project, std::FILE* package, const char* document_name,
                       const LoadOptions& options);

// Fetches the named document and checks it as LoadProject does, building nothing: every
// problem is appended as one line, the first being what LoadProject would report. A document
// the package does not hold has no problems.
void CheckProjectDocument(std::FILE* package, const char* document_name, bool read_music,
                          std::vector<std::string>& problems);

// The same for a document already fetched and parsed (root as ParseXml gives it); the
// package is where the items read their entries from.
LoadResult LoadProjectDocument(Project& project, std::FILE* package, std::unique_ptr<XmlNode> root,
                               const char* document_name, const LoadOptions& options);

} // namespace korvane
