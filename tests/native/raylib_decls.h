// raylib's records and the prototypes of the fourteen functions the bridge calls, written out as
// raylib.h declares them. Kept apart from the bridge's own declarations on purpose: the fake
// libraries built from this header check the bridge's layouts instead of sharing them.
#pragma once

typedef struct Vector2 {
    float x;
    float y;
} Vector2;

typedef struct Vector4 {
    float x;
    float y;
    float z;
    float w;
} Vector4;

typedef struct Rectangle {
    float x;
    float y;
    float width;
    float height;
} Rectangle;

typedef struct Color {
    unsigned char r;
    unsigned char g;
    unsigned char b;
    unsigned char a;
} Color;

typedef struct Texture {
    unsigned int id;
    int width;
    int height;
    int mipmaps;
    int format;
} Texture;
typedef Texture Texture2D;

typedef struct RenderTexture {
    unsigned int id;
    Texture texture;
    Texture depth;
} RenderTexture;
typedef RenderTexture RenderTexture2D;

typedef struct Shader {
    unsigned int id;
    int* locs;
} Shader;

// Exported with default visibility so that ctypes and cffi can find them by name too.
#define RLAPI extern "C" __attribute__((visibility("default")))

RLAPI void DrawTextureRec(Texture2D texture, Rectangle source, Vector2 position, Color tint);
RLAPI void DrawTexturePro(Texture2D texture, Rectangle source, Rectangle dest, Vector2 origin,
                          float rotation, Color tint);
RLAPI void BeginBlendMode(int mode);
RLAPI void EndBlendMode(void);
RLAPI void BeginTextureMode(RenderTexture2D target);
RLAPI void EndTextureMode(void);
RLAPI void ClearBackground(Color color);
RLAPI void BeginShaderMode(Shader shader);
RLAPI void EndShaderMode(void);
RLAPI void SetShaderValue(Shader shader, int locIndex, const void* value, int uniformType);
RLAPI int GetShaderLocation(Shader shader, const char* uniformName);
RLAPI void BeginDrawing(void);
RLAPI void EndDrawing(void);
RLAPI void SetShaderValueV(Shader shader, int locIndex, const void* value, int uniformType,
                           int count);
