// What a back-end draws the demo scene with. The scene (render/demo_scene.cpp)
// decides every pass, name, placement, colour and order; a back-end turns each
// primitive into its API's calls and adds nothing of the scene's own.
//
// Placements are given in the OpenGL convention: right-handed eye space, the
// eye at the origin looking along -z, y up, angles in degrees, counter-clockwise.
#pragma once

#include <cstdint>

namespace vyr::test {

class Mesh3D;
class Texture;

// One step of a model transform. Steps are listed outermost first, as OpenGL's
// matrix calls are made: the last step applies first to the object's points.
struct TransformStep {
    enum Kind : uint8_t { Translate, RotateY, Scale } kind;
    float x, y, z;  // RotateY: the angle in x
};

struct ModelTransform {
    static constexpr int maxSteps = 5;
    TransformStep steps[maxSteps];
    int count = 0;
    ModelTransform& translate(float x, float y, float z) { return add({TransformStep::Translate, x, y, z}); }
    ModelTransform& rotateY(float degrees) { return add({TransformStep::RotateY, degrees, 0.0f, 0.0f}); }
    ModelTransform& scale(float x, float y, float z) { return add({TransformStep::Scale, x, y, z}); }

private:
    ModelTransform& add(TransformStep step) {
        if (count < maxSteps) steps[count++] = step;
        return *this;
    }
};

// How a mesh's texture is laid onto it.
enum class TexturePlacement : uint8_t { Untextured, SphereMap, ObjectLinear };

// The material of a sub-mesh of the logos and the star, chosen by its name.
struct MeshMaterial {
    const char* meshName;
    uint8_t red, green, blue;      // of 255; the alpha is the drawing's
    bool emissive;                 // glows full white with the drawing's alpha
    const char* textureName;       // null: untextured
    TexturePlacement placement;
};

// The frame-rate text is drawn twice: a black shadow, then the white face.
enum class TextLayer : uint8_t { Shadow, Face };

class ScenePrimitives {
public:
    virtual ~ScenePrimitives() = default;

    // Clears colour and depth; false when nothing can be drawn this frame.
    virtual bool beginFrame(float eyeOffset) = 0;
    virtual void endFrame() = 0;
    // The image tiled twice each way over the window's longer side, cropped
    // along the shorter, behind everything; depth writes stay off until endStars.
    virtual void drawBackground(Texture* image) = 0;
    // The perspective camera: 45 degrees vertically, the window's aspect.
    virtual void setCamera() = 0;
    // Streaks: the benchmark's unlit lines; otherwise meshes added to the picture.
    virtual void beginStars(bool streaks, Texture* streakImage) = 0;
    virtual void drawStreak() = 0;
    virtual void endStars(bool streaks) = 0;
    // Logos: blended by their alpha, or opaque.
    virtual void beginLogos(bool blended) = 0;
    virtual void clearDepth() = 0;
    // Sets the model transform of the objects drawn next, or turns it further.
    virtual void placeObject(const ModelTransform& transform) = 0;
    virtual void turnObject(float degrees) = 0;
    // One mesh's triangles, lit and depth-tested; a null material keeps the
    // settings of the previous mesh. Does nothing for a mesh never uploaded.
    virtual void drawMesh(Mesh3D& mesh, const MeshMaterial* material, Texture* texture, float alpha) = 0;
    // Pixel coordinates from the bottom-left corner of the window.
    virtual void beginOverlays() = 0;
    // A 128 x 41 pixel image at the bottom edge from `left`; `enableBlending`
    // switches blending on, else it stays as the logos left it.
    virtual void drawOverlay(Texture* image, float left, bool enableBlending) = 0;
    virtual void beginText() = 0;
    // The text in the top-left corner; the shadow lies one pixel off the face.
    virtual void drawText(const char* text, TextLayer layer) = 0;
};

}  // namespace vyr::test
