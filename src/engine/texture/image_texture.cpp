#include "texture/image_texture.h"

#include <stb_image.h>

#include <climits>
#include <cstdarg>
#include <cstring>
#include <utility>

#include "data/package.h"
#include "data/xml.h"
#include "gl/gl.h"
#include "model/curve.h"
#include "model/document.h"
#include "model/pool.h"
#include "model/project.h"
#include "texture/texture_upload.h"

namespace korvane {

namespace {

constexpr char kFilenameAttribute[] = "filename";
constexpr char kFormatAttribute[] = "texture_format";
constexpr char kFilterAttribute[] = "texture_filter";

// The problems, each completed by the item they were found in.
constexpr char kNotInPackage[] = "%s is not in the package";
constexpr char kUndecodable[] = "%s cannot be decoded (%s)";
constexpr char kDamagedPackage[] = "%s cannot be read: the package is damaged (%s)";
constexpr char kTooLarge[] = "%s cannot be decoded (the entry is too large)";
constexpr char kShortFilename[] =
    "the filename \"%s\" is shorter than 4 characters: it needs an extension such as .png";
constexpr char kNoSuchFormat[] = "texture_format %ld is not one of the texture formats 0 to 7";
constexpr char kPoolFull[] = "more %s than the pool holds (%u)";
constexpr char kFaceProblem[] = "face %s: %s";
constexpr char kFaceNotSquare[] = "face %s is %u x %u: cube faces must be square";
constexpr char kFaceSizesDiffer[] =
    "face %s is %u x %u and face %s %u x %u: cube faces must all be one size";

// A document's format index names one of the eight entries of the TextureFormatTable.
constexpr long kTextureFormatCount = 8;
// The extension, with its dot, that ends every image filename; mip names go before it.
constexpr size_t kExtensionLength = 4;

// Records that never reached GL hold no names and make no GL call, so they may be made
// and destroyed without a context.
void DeleteObjects(uint32_t& texture, uint32_t& renderbuffer) {
    if (texture != 0) {
        GLuint name = texture;
        glDeleteTextures(1, &name);
        texture = 0;
    }
    if (renderbuffer != 0) {
        GLuint name = renderbuffer;
        glDeleteRenderbuffersEXT(1, &name);
        renderbuffer = 0;
    }
}

uint32_t GenerateTexture() {
    GLuint name = 0;
    glGenTextures(1, &name);
    return name;
}

void RequireAttribute(const XmlNode& element, const char* name,
                      std::vector<std::string>& problems) {
    if (GetXmlAttribute(element, name) == nullptr)
        problems.push_back(FormatProblem(kMissingAttribute, name));
}

void CheckFormatAndFilter(const XmlNode& element, std::vector<std::string>& problems) {
    const char* format = GetXmlAttribute(element, kFormatAttribute);
    if (format == nullptr)
        problems.push_back(FormatProblem(kMissingAttribute, kFormatAttribute));
    else if (std::string problem = ValidateTextureFormat(format); !problem.empty())
        problems.push_back(problem);
    RequireAttribute(element, kFilterAttribute, problems);
}

uint8_t ReadByte(const XmlNode& element, const char* name) {
    return static_cast<uint8_t>(ReadDocumentInteger(GetXmlAttribute(element, name)));
}

void SetFilters(GLenum target, GLint min_filter, GLint mag_filter) {
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, mag_filter);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, min_filter);
}

// A production's own level 1 or 2, when the package has it with the size and channel count
// the chain needs; anything else is left for the chain to compute.
std::optional<DecodedImage> FetchSuppliedLevel(std::FILE* package, const std::string& filename,
                                               int level, MipSize size, uint32_t channels) {
    const std::string name = SuppliedLevelName(filename, level);
    DecodedImage image;
    if (name.empty() || !FetchImage(package, name.c_str(), image).empty())
        return std::nullopt;
    if (image.width != size.width || image.height != size.height || image.channels != channels)
        return std::nullopt;
    return image;
}

} // namespace

void ReleaseTextureObjects(ImageTexture& texture) {
    DeleteObjects(texture.gl_texture, texture.depth_renderbuffer);
}

void ReleaseTextureObjects(CubeMapTexture& texture) {
    DeleteObjects(texture.gl_texture, texture.depth_renderbuffer);
}

ImageTexture::~ImageTexture() {
    ReleaseTextureObjects(*this);
}

CubeMapTexture::~CubeMapTexture() {
    ReleaseTextureObjects(*this);
}

bool DecodeImage(const uint8_t* bytes, size_t size, DecodedImage& image, std::string& reason) {
    image = DecodedImage{};
    if (size > static_cast<size_t>(INT_MAX)) {
        reason = "the entry is too large";
        return false;
    }
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels =
        stbi_load_from_memory(bytes, static_cast<int>(size), &width, &height, &channels, 0);
    if (pixels == nullptr) {
        const char* why = stbi_failure_reason();
        reason = why != nullptr ? why : "unknown reason";
        return false;
    }
    image.width = static_cast<uint32_t>(width);
    image.height = static_cast<uint32_t>(height);
    image.channels = static_cast<uint32_t>(channels);
    image.pixels.assign(pixels, pixels + static_cast<size_t>(width) * height * channels);
    stbi_image_free(pixels);
    if (image.channels == 2)
        ConvertChannels(image, 4);
    return true;
}

void ConvertChannels(DecodedImage& image, uint32_t channels) {
    const uint32_t from = image.channels;
    if (from == channels || from < 1 || from > 4 || (channels != 3 && channels != 4))
        return;
    const size_t count = static_cast<size_t>(image.width) * image.height;
    std::vector<uint8_t> converted(count * channels);
    const bool grey = from < 3;
    const bool alpha = from == 2 || from == 4;
    for (size_t p = 0; p < count; ++p) {
        const uint8_t* in = image.pixels.data() + p * from;
        uint8_t* out = converted.data() + p * channels;
        out[0] = in[0];
        out[1] = grey ? in[0] : in[1];
        out[2] = grey ? in[0] : in[2];
        if (channels == 4)
            out[3] = alpha ? in[from - 1] : 255;
    }
    image.pixels.swap(converted);
    image.channels = channels;
}

std::string FetchImage(std::FILE* package, const char* name, DecodedImage& image) {
    if (package == nullptr)
        return FormatProblem(kNotInPackage, name);
    PackageEntryResult entry = ReadPackageEntry(package, name);
    if (entry.status == PackageStatus::kAbsent)
        return FormatProblem(kNotInPackage, name);
    if (!entry.found())
        return FormatProblem(kDamagedPackage, name, entry.message.c_str());
    if (entry.bytes.size() > static_cast<size_t>(INT_MAX))
        return FormatProblem(kTooLarge, name);
    std::string reason;
    if (!DecodeImage(entry.bytes.data(), entry.bytes.size(), image, reason))
        return FormatProblem(kUndecodable, name, reason.c_str());
    return std::string();
}

std::string SuppliedLevelName(const std::string& filename, int level) {
    if (filename.size() < kExtensionLength)
        return std::string();
    const size_t stem = filename.size() - kExtensionLength;
    return filename.substr(0, stem) + "_mm" + std::to_string(level) + filename.substr(stem);
}

std::string UnifyCubeFaces(std::array<DecodedImage, kCubeFaceCount>& faces, uint32_t& channels) {
    const DecodedImage& first = faces[0];
    for (size_t f = 0; f < faces.size(); ++f) {
        const DecodedImage& face = faces[f];
        if (face.width != face.height)
            return FormatProblem(kFaceNotSquare, kCubeFaceSources[f].attribute, face.width,
                                 face.height);
        if (face.width != first.width)
            return FormatProblem(kFaceSizesDiffer, kCubeFaceSources[f].attribute, face.width,
                                 face.height, kCubeFaceSources[0].attribute, first.width,
                                 first.height);
    }
    // RGB data expands to opaque RGBA in GL, so a cube with alpha anywhere takes RGBA
    // throughout and every face samples as it would have alone.
    channels = 3;
    for (const DecodedImage& face : faces)
        if (face.channels == 2 || face.channels == 4)
            channels = 4;
    for (DecodedImage& face : faces)
        ConvertChannels(face, channels);
    return std::string();
}

uint32_t InternalFormatOf(const TextureFormatTable& formats, uint32_t format) {
    return format < formats.size() ? formats[format] : GL_RGB;
}

std::string ValidateTextureFormat(const char* text) {
    const long format = ReadDocumentInteger(text);
    if (format < 0 || format >= kTextureFormatCount)
        return FormatProblem(kNoSuchFormat, format);
    return std::string();
}

std::string LoadImageFileElement(const XmlNode& element, Project& project, std::FILE* package,
                                 const TextureFormatTable& formats) {
    const uint16_t handle = PoolAdd(project.image_files);
    ImageTexture* texture = PoolGet(project.image_files, handle);
    if (texture == nullptr)
        return FormatProblem(kPoolFull, "image files", ResourcePool<ImageTexture>::kCapacity);
    texture->depth_renderbuffer = 0;
    const char* filename_text = GetXmlAttribute(element, kFilenameAttribute);
    if (filename_text == nullptr)
        return FormatProblem(kMissingAttribute, kFilenameAttribute);
    const std::string filename = filename_text;

    DecodedImage image;
    if (std::string problem = FetchImage(package, filename.c_str(), image); !problem.empty())
        return problem;
    texture->width = image.width;
    texture->height = image.height;
    texture->channels = image.channels;
    texture->pixels = std::move(image.pixels);
    texture->format = ReadByte(element, kFormatAttribute);
    texture->filter = ReadByte(element, kFilterAttribute);

    const MipSize size_1 = NextMipSize(texture->width, texture->height);
    const MipSize size_2 = NextMipSize(size_1.width, size_1.height);
    texture->supplied_level_1 = FetchSuppliedLevel(package, filename, 1, size_1, texture->channels);
    texture->supplied_level_2 = FetchSuppliedLevel(package, filename, 2, size_2, texture->channels);

    const uint32_t internal_format = InternalFormatOf(formats, texture->format);
    texture->gl_texture = GenerateTexture();
    glBindTexture(GL_TEXTURE_2D, texture->gl_texture);
    UploadTextureLevel(GL_TEXTURE_2D, 0, internal_format, texture->width, texture->height,
                       texture->channels, texture->pixels.data());
    switch (texture->filter) {
    case kFilterNearest:
        SetFilters(GL_TEXTURE_2D, GL_NEAREST, GL_NEAREST);
        break;
    case kFilterLinear:
        SetFilters(GL_TEXTURE_2D, GL_LINEAR, GL_LINEAR);
        break;
    case kFilterMipmapped:
        SetFilters(GL_TEXTURE_2D, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
        UploadMipChain(texture->width, texture->height, texture->pixels.data(), texture->channels,
                       internal_format,
                       texture->supplied_level_1 ? &*texture->supplied_level_1 : nullptr,
                       texture->supplied_level_2 ? &*texture->supplied_level_2 : nullptr);
        break;
    default:
        // Other values keep GL's own filters, as productions made for them expect.
        break;
    }
    std::vector<uint8_t>().swap(texture->pixels);
    texture->supplied_level_1.reset();
    texture->supplied_level_2.reset();
    return std::string();
}

std::string LoadCubeMapElement(const XmlNode& element, Project& project, std::FILE* package,
                               const TextureFormatTable& formats) {
    const uint16_t handle = PoolAdd(project.cube_maps);
    CubeMapTexture* cube = PoolGet(project.cube_maps, handle);
    if (cube == nullptr)
        return FormatProblem(kPoolFull, "cube maps", ResourcePool<CubeMapTexture>::kCapacity);
    cube->gl_texture = GenerateTexture();
    cube->depth_renderbuffer = 0;

    std::array<DecodedImage, kCubeFaceCount> faces;
    int present = 0;
    for (size_t f = 0; f < kCubeFaceSources.size(); ++f) {
        const char* name = GetXmlAttribute(element, kCubeFaceSources[f].attribute);
        if (name == nullptr || name[0] == '\0')
            continue;
        if (std::string problem = FetchImage(package, name, faces[f]); !problem.empty())
            return FormatProblem(kFaceProblem, kCubeFaceSources[f].attribute, problem.c_str());
        ++present;
    }
    cube->format = ReadByte(element, kFormatAttribute);
    cube->filter = ReadByte(element, kFilterAttribute);
    // A cube map without all its faces keeps an empty texture; with no size it is never
    // taken for a target that layers could draw into.
    if (present < kCubeFaceCount)
        return std::string();

    uint32_t channels = 0;
    if (std::string problem = UnifyCubeFaces(faces, channels); !problem.empty())
        return problem;
    cube->width = faces[0].width;
    cube->height = faces[0].height;
    cube->channels = channels;
    const uint32_t internal_format = InternalFormatOf(formats, cube->format);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube->gl_texture);
    for (size_t f = 0; f < faces.size(); ++f) {
        UploadTextureLevel(kCubeFaceSources[f].target, 0, internal_format, cube->width,
                           cube->height, channels, faces[f].pixels.data());
        // The decoded face is not kept: the record's faces stay empty.
        std::vector<uint8_t>().swap(faces[f].pixels);
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    if (cube->filter == kFilterNearest)
        SetFilters(GL_TEXTURE_CUBE_MAP, GL_NEAREST, GL_NEAREST);
    else
        SetFilters(GL_TEXTURE_CUBE_MAP, GL_LINEAR, GL_LINEAR);
    return std::string();
}

std::vector<std::string> ValidateImageFileElement(const XmlNode& element) {
    std::vector<std::string> problems;
    const char* filename = GetXmlAttribute(element, kFilenameAttribute);
    if (filename == nullptr)
        problems.push_back(FormatProblem(kMissingAttribute, kFilenameAttribute));
    else if (std::strlen(filename) < kExtensionLength)
        problems.push_back(FormatProblem(kShortFilename, filename));
    CheckFormatAndFilter(element, problems);
    return problems;
}

std::vector<std::string> ValidateCubeMapElement(const XmlNode& element) {
    std::vector<std::string> problems;
    for (const CubeFaceSource& face : kCubeFaceSources)
        RequireAttribute(element, face.attribute, problems);
    CheckFormatAndFilter(element, problems);
    return problems;
}

} // namespace korvane
