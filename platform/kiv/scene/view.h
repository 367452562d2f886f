// What a frame of the engine is made of, as drawable objects meet it: the view point a frame is
// culled and drawn for (its camera, its frame number, the objects added to it and the draws
// they made), the matrix a geometry stores for the viewport, the light target that lights its
// chunks, the structure that carries reference and attachment points, and the triangle
// interface. This engine draws nothing: every call is recorded, so that an object's culling and
// drawing can be tested by what it left in the view point.
//
// Names of points split by our rule (GetSubNames): the part before the first '.', and the rest
// (empty when there is no '.'): "a.light.front" is "a" and "light.front".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/scene/geometry.h"
#include "platform/kiv/scene/particle.h"

namespace Kiv {

class GeometryChunk;
class Material;
class LightTarget;

// A camera is a particle: where it stands and looks is its world frame.
class Camera : public Particle {
public:
    using Particle::Particle;
    Vector3 GetWorldPosition() const { return GetWorldMatrix().GetTranslation(); }
    // World to camera.
    Matrix4x4 GetViewTransform() const { return GetWorldMatrix().AffineInverse(); }
};

class ViewPoint {
public:
    // One draw a material made for an object.
    struct DrawRecord {
        const Element* element = nullptr;
        const GeometryChunk* chunk = nullptr;
        const Material* material = nullptr;
        const LightTarget* light = nullptr;
        Matrix4x4 matrix;
        bool lit = false;  // drawn directly with its lighting state set
    };

    explicit ViewPoint(Camera* camera = nullptr) : camera_(camera) {}
    Camera* GetCamera() const { return camera_; }
    Vector3 GetCameraPosition() const { return camera_ ? camera_->GetWorldPosition() : Vector3{}; }

    // Frames are numbered from 1; a new frame forgets what the last one added and drew.
    uint32_t GetCurrentFrame() const { return frame_; }
    void NextFrame();

    // An object to be drawn this frame.
    void Add(Element* element) { added_.push_back(element); }
    const std::vector<Element*>& GetAdded() const { return added_; }

    // The texture detail wanted for an object of that radius around that centre: our rule is
    // the number of times the camera's distance halves before it is within the radius (0 for a
    // radius of 0 or less, or a camera inside), at most 15. Each ask is counted.
    uint32_t CalcWantedMipLevelsForCull(float radius, const Vector3& centre);
    uint32_t GetMipLevelAsks() const { return mipAsks_; }

    void RecordDraw(const DrawRecord& record) { draws_.push_back(record); }
    const std::vector<DrawRecord>& GetDraws() const { return draws_; }

private:
    Camera* camera_;
    uint32_t frame_ = 1;
    std::vector<Element*> added_;
    std::vector<DrawRecord> draws_;
    uint32_t mipAsks_ = 0;
};

// The matrix an object stores for the viewport when it is added to a frame.
class Geometry {
public:
    virtual ~Geometry() = default;
    void StoreMatrix(const ViewPoint& viewPoint, const Matrix4x4& matrix) {
        stored_ = matrix;
        storedFrame_ = viewPoint.GetCurrentFrame();
    }
    const Matrix4x4& GetStoredMatrix() const { return stored_; }
    uint32_t GetStoredFrame() const { return storedFrame_; }

protected:
    void InitInstance(const Geometry& source) { stored_ = source.stored_; }

private:
    Matrix4x4 stored_;
    uint32_t storedFrame_ = 0;
};

// A triangle of a triangle geometry: the face index within chunk `chunk`.
struct TriangleRef {
    uint32_t face = 0, chunk = 0;
    bool operator==(const TriangleRef&) const = default;
};

// The engine's view of an object as triangles. Every answer is empty for a reference outside
// the object's chunks.
class TriangleGeometry : public Geometry {
public:
    // Draws the chunks straight to the view point, lit when `lit` (no culling, no sorting).
    virtual void DrawChunksDirect(ViewPoint& viewPoint, bool lit) = 0;
    // True when the object was not culled in the view point's current frame.
    virtual bool NotDrawnInFrame(const ViewPoint& viewPoint) const = 0;
    virtual std::optional<Vector3> GetVertexPosition(uint32_t chunk, uint32_t face,
                                                     int k) const = 0;
    virtual std::optional<Vector3> GetFaceNormal(uint32_t chunk, uint32_t face) const = 0;
    virtual std::optional<Vector3> GetTriangleCentre(uint32_t chunk, uint32_t face) const = 0;
    // The neighbour across edge e (0 to 2).
    virtual std::optional<TriangleRef> GetFaceNeighbour(uint32_t chunk, uint32_t face,
                                                        int e) const = 0;
    virtual const Material* GetTriangleMaterial(uint32_t chunk) const = 0;
};

// What lights an object's chunks. The lighting itself is the engine's; this one counts the
// chunks it was asked to light.
class LightTarget {
public:
    virtual ~LightTarget() = default;
    // Whether the next draw recalculates the lighting.
    virtual void SetUpdateLighting(bool on) { update_ = on; }
    bool GetUpdateLighting() const { return update_; }
    void CalculateLighting(uint32_t chunks) {
        ++calculations_;
        litChunks_ += chunks;
    }
    uint32_t GetCalculationCount() const { return calculations_; }
    uint32_t GetLitChunkCount() const { return litChunks_; }

protected:
    void InitInstance(const LightTarget& source) { update_ = source.update_; }
    bool update_ = true;

private:
    uint32_t calculations_ = 0;
    uint32_t litChunks_ = 0;
};

// A point's name split by our rule.
void GetSubNames(const PString& name, PString* first, PString* rest);

// A named frame a structure carries, made from a mesh's "p" point.
struct ReferencePoint {
    PString name;     // the first part of the point's name
    PString subName;  // the rest
    Vector3 position;
    Quaternion rotation;
    static void GetSubNames(const PString& name, PString* first, PString* rest) {
        Kiv::GetSubNames(name, first, rest);
    }
};

// A particle other objects attach to, made from a mesh's "a" point; its name is the point's
// whole name.
class AttachmentPoint : public Particle {
public:
    explicit AttachmentPoint(PString name);
    const PString& GetFirstName() const { return first_; }
    const PString& GetSubName() const { return rest_; }
    static void GetSubNames(const PString& name, PString* first, PString* rest) {
        Kiv::GetSubNames(name, first, rest);
    }
    std::unique_ptr<Particle> Copy() const override;

private:
    PString first_, rest_;
};

// A particle that carries reference points and attachment points.
class ParticleStructure : public Particle {
public:
    using Particle::Particle;
    void AddReferencePoint(ReferencePoint point) { references_.push_back(std::move(point)); }
    const std::vector<ReferencePoint>& GetReferencePoints() const { return references_; }
    // Takes an attachment point as a child, listed among the structure's attachments, unless
    // one of the same whole name is listed already (our rule): then the point is handed back.
    std::unique_ptr<AttachmentPoint> AddAttachmentPoint(std::unique_ptr<AttachmentPoint> point);
    const std::vector<AttachmentPoint*>& GetAttachmentPoints() const { return attachments_; }

protected:
    // A copy's structure: the source's reference points, and its attachment list found again
    // by name under the copy (the children are copied by the caller first).
    void InitInstance(const ParticleStructure& source);
    std::vector<ReferencePoint> references_;

private:
    std::vector<AttachmentPoint*> attachments_;
};

}  // namespace Kiv
