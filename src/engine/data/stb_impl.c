/* The implementations of the stb single-file libraries the engine uses: image decoding
   (PNG and JPEG from memory, and its zlib decoder), image and zlib writing for the tools,
   and Ogg Vorbis decoding for the music. */
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
