// raylib's public by-value records, laid out exactly as raylib declares them: the bridge passes
// them by value to raylib's functions under the platform's C calling convention (x86-64 SysV).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::raylib {

struct Vector2 {
    float x;
    float y;
};

struct Vector4 {
    float x;
    float y;
    float z;
    float w;
};

struct Rectangle {
    float x;
    float y;
    float width;
    float height;
};

struct Color {
    uint8_t r;
    uint8_t g;
    uint8_t b;
    uint8_t a;
};

struct Texture2D {
    uint32_t id;
    int32_t width;
    int32_t height;
    int32_t mipmaps;
    int32_t format;
};

struct RenderTexture2D {
    uint32_t id;
    Texture2D texture;
    Texture2D depth;
};

// Bytes 4-7 are alignment padding; `locs` is raylib's uniform location array, never read here.
struct Shader {
    uint32_t id;
    int32_t* locs;
};

static_assert(sizeof(Vector2) == 8 && offsetof(Vector2, y) == 4);
static_assert(sizeof(Vector4) == 16 && offsetof(Vector4, y) == 4 && offsetof(Vector4, z) == 8 &&
              offsetof(Vector4, w) == 12);
static_assert(sizeof(Rectangle) == 16 && offsetof(Rectangle, y) == 4 &&
              offsetof(Rectangle, width) == 8 && offsetof(Rectangle, height) == 12);
static_assert(sizeof(Color) == 4 && offsetof(Color, g) == 1 && offsetof(Color, b) == 2 &&
              offsetof(Color, a) == 3);
static_assert(sizeof(Texture2D) == 20 && offsetof(Texture2D, width) == 4 &&
              offsetof(Texture2D, height) == 8 && offsetof(Texture2D, mipmaps) == 12 &&
              offsetof(Texture2D, format) == 16);
static_assert(sizeof(RenderTexture2D) == 44 && offsetof(RenderTexture2D, texture) == 4 &&
              offsetof(RenderTexture2D, depth) == 24);
static_assert(sizeof(Shader) == 16 && offsetof(Shader, locs) == 8);

} // namespace qm::raylib
