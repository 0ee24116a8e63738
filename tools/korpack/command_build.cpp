// korpack build: the package of a production folder, documents compressed and OBJ models
// converted into mesh files.
#include "command.h"

#include "data/compressed_document.h"
#include "mesh/mesh_file.h"
#include "mesh/obj_import.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace korvane::korpack {
namespace {

const char kDocumentSuffix[] = ".xml";
const char kModelSuffix[] = ".obj";
const char kMeshSuffix[] = ".mesh";

template <size_t N> bool EndsWith(const std::string& name, const char (&suffix)[N]) {
    constexpr size_t n = N - 1;
    return name.size() >= n && name.compare(name.size() - n, n, suffix) == 0;
}

bool IsDocument(const std::string& name) {
    return EndsWith(name, kDocumentSuffix);
}

bool IsModel(const std::string& name) {
    return EndsWith(name, kModelSuffix);
}

// The entry a file of the folder becomes: NAME.xml is stored as NAME.xmlz, NAME.obj as
// NAME.mesh, everything else under its own name.
std::string EntryName(const std::string& file) {
    if (IsDocument(file))
        return file + "z";
    if (IsModel(file))
        return file.substr(0, file.size() - (sizeof kModelSuffix - 1)) + kMeshSuffix;
    return file;
}

// A document compressed, or an OBJ model converted into a framed mesh file, as
// 'korpack compress' and 'korpack mesh' write them; prints the failure and returns false.
bool ConvertFile(const std::string& path, const std::string& file, std::vector<uint8_t>& framed) {
    std::vector<uint8_t> text;
    if (!ReadInputFile(path, text))
        return false;
    std::string message;
    if (IsDocument(file)) {
        if (CompressDocument(text.data(), text.size(), framed, message))
            return true;
        Fail(path, message);
        return false;
    }
    MeshData mesh;
    ObjImportResult imported =
        ImportObj(reinterpret_cast<const char*>(text.data()), text.size(), mesh);
    if (!imported.ok()) {
        Fail(imported.line != 0 ? path + ":" + std::to_string(imported.line) : path,
             imported.problem);
        return false;
    }
    std::vector<uint8_t> layout = EncodeMeshFile(mesh);
    if (CompressDocument(layout.data(), layout.size(), framed, message))
        return true;
    Fail(path, message);
    return false;
}

int RunBuild(const Arguments& arguments) {
    const std::string& directory = arguments[0];
    const std::string& output = arguments[1];
    namespace fs = std::filesystem;

    std::vector<std::string> files;
    std::error_code error;
    fs::directory_iterator listing(directory, error);
    if (error)
        return Fail(directory, "cannot read the folder: " + error.message());
    for (const auto& item : listing) {
        std::error_code ignored;
        // A package left in the folder by an earlier build is not packed into the new one.
        if (item.is_regular_file(ignored) && !fs::equivalent(item.path(), output, ignored))
            files.push_back(item.path().filename().string());
    }
    std::sort(files.begin(), files.end());

    PackageFileList list;
    std::map<std::string, std::string> made_from; // entry name -> file name
    for (const auto& file : files) {
        std::string path = directory + "/" + file;
        std::string name = EntryName(file);
        if (name.size() > kMaxPackageNameLength)
            return Fail(path, "the entry name \"" + name + "\" is longer than 31 bytes");
        auto [other, inserted] = made_from.emplace(name, file);
        if (!inserted)
            return Fail(path, "the entry name \"" + name + "\" is also made from " + other->second);
        if (!IsDocument(file) && !IsModel(file)) {
            AppendPackageFile(list, name, directory + "/");
            continue;
        }
        std::vector<uint8_t> framed;
        if (!ConvertFile(path, file, framed))
            return kFailure;
        AppendPackageFile(list, name, std::nullopt).contents = std::move(framed);
    }
    PackageResult result = WritePackage(list, output, nullptr);
    if (!result.ok())
        return FailPackage(output, result);
    return kSuccess;
}

} // namespace

extern const CommandSpec kBuildCommand = {
    "build",
    "DIR OUT",
    "write the package OUT of the production folder DIR",
    "Every regular file at the top level of DIR becomes one entry, in sorted name order.\n"
    "A document NAME.xml is stored compressed as the entry NAME.xmlz (see 'compress'); a\n"
    "Wavefront OBJ model NAME.obj is converted into the mesh file NAME.mesh (see 'mesh');\n"
    "every other file is stored as it is. Subfolders of DIR are not packed. Entry names are\n"
    "at most 31 bytes.\n",
    2,
    2,
    RunBuild,
};

} // namespace korvane::korpack
