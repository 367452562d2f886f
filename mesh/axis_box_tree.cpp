#include "mesh/axis_box_tree.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "mesh/indexed_mesh_definition.h"

namespace {

using Kiv::Vector3;

float Component(const Vector3& v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

bool Finite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The order in which split axes are tried, from the node's extents.
void AxisOrder(float ex, float ey, float ez, int order[3]) {
    float x = std::fabs(ex), y = std::fabs(ey), z = std::fabs(ez);
    auto set = [&](int a, int b, int c) {
        order[0] = a;
        order[1] = b;
        order[2] = c;
    };
    if (y <= x) {
        if (x < z)
            set(2, 0, 1);
        else if (z < y)
            set(0, 1, 2);
        else
            set(0, 2, 1);
    } else {
        if (y < z)
            set(2, 1, 0);
        else if (x < z)
            set(1, 2, 0);
        else
            set(1, 0, 2);
    }
}

// The point lies inside the triangle, seen along the normal's largest component.
bool PointInTriangle(const Vector3& n, const Vector3 corner[3], const Vector3& p) {
    int a, b, dropped;
    float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    if (ay <= az) {
        if (ax <= az)
            a = 0, b = 1, dropped = 2;
        else
            a = 1, b = 2, dropped = 0;
    } else {
        if (ax <= ay)
            a = 2, b = 0, dropped = 1;
        else
            a = 1, b = 2, dropped = 0;
    }
    float sign = Component(n, dropped);
    const Vector3* edges[3][2] = {
        {&corner[2], &corner[0]}, {&corner[0], &corner[1]}, {&corner[1], &corner[2]}};
    for (const auto& e : edges) {
        const Vector3& s = *e[0];
        const Vector3& t = *e[1];
        float value = ((Component(t, a) - Component(s, a)) * (Component(p, b) - Component(s, b)) -
                       (Component(t, b) - Component(s, b)) * (Component(p, a) - Component(s, a))) *
                      sign;
        if (value < 0) return false;
    }
    return true;
}

}  // namespace

// --- the definition's triangles ----------------------------------------------------------------

CollisionGeometrySharingInterface::CollisionGeometrySharingInterface(
    const HalvexIndexedMeshDefinition& definition) {
    for (uint32_t i = 0; i < definition.GetNumSubMeshes(); ++i) {
        Chunk& chunk = chunks_.emplace_back();
        const auto& c = definition.GetChunk(i);
        if (!c) continue;
        chunk.indices = c->GetIndexArray();
        chunk.positions = reinterpret_cast<const float*>(c->GetItem(Kiv::kItemPositions));
        chunk.indexCount = c->GetIndexCount();
        chunk.vertexCount = c->GetVertexCount();
    }
}

bool CollisionGeometrySharingInterface::GetTriangle(uint32_t reference, Vector3 corners[3]) const {
    uint32_t chunk = reference >> 15, first = 3 * (reference & 0x7FFF);
    if (chunk >= chunks_.size()) return false;
    const Chunk& c = chunks_[chunk];
    if (c.indices == nullptr || c.positions == nullptr || uint64_t{first} + 3 > c.indexCount)
        return false;
    for (int k = 0; k < 3; ++k) {
        uint32_t v = c.indices[first + k];
        if (v >= c.vertexCount) return false;
        corners[k] = {c.positions[3 * v], c.positions[3 * v + 1], c.positions[3 * v + 2]};
    }
    return true;
}

// --- building ------------------------------------------------------------------------------------

struct HXAxisBoxTree::Build {
    HXMapKDTree pointMap;
    std::vector<Vector3> vertices;
    std::vector<Item> items;
    std::vector<FloatNode> nodes;
    std::vector<uint32_t> leafList;
    uint32_t leafSize = kDefaultLeafSize;
    std::vector<int32_t> found;
};

HXAxisBoxTree::HXAxisBoxTree(const HXAxisBoxTreeExternalGeometry* geometry) : geometry_(geometry) {}

HXAxisBoxTree::~HXAxisBoxTree() = default;

void HXAxisBoxTree::StartBuild(uint32_t leafSize) {
    build_ = std::make_unique<Build>();
    build_->leafSize = std::max<uint32_t>(leafSize & ~1u, 4);
    nodes_.clear();
    leaves_.clear();
    depth_ = 0;
    addCalls_ = 0;
    looseBoxes_ = false;
}

void HXAxisBoxTree::AddTriangle(uint32_t chunk, uint32_t firstIndex) {
    ++addCalls_;
    if (!build_ || geometry_ == nullptr) return;
    Build& b = *build_;
    if (chunk >= kMaxChunks || firstIndex >= 98302 || firstIndex % 3 != 0 ||
        b.items.size() >= kMaxItems || b.vertices.size() >= kMaxVertices)
        return;
    uint32_t reference = MakeReference(chunk, firstIndex / 3);
    Vector3 c[3];
    if (!geometry_->GetTriangle(reference, c)) return;
    Vector3 n = (c[1] - c[0]).Cross(c[2] - c[0]);
    float length = n.Length();
    if (length > 0) n = n * (1.0f / length);
    if (!(double{n.LengthSquared()} >= double{0.1f})) return;  // no area (or not a number)
    for (const Vector3& corner : c) {
        const float p[3] = {corner.x, corner.y, corner.z};
        if (b.pointMap.Lookup(p, b.found) == 0) {
            b.pointMap.Insert(p, static_cast<int32_t>(b.vertices.size()));
            b.vertices.push_back(corner);
        }
    }
    Item item;
    for (int a = 0; a < 3; ++a) {
        item.min[a] = std::min({Component(c[0], a), Component(c[1], a), Component(c[2], a)});
        item.max[a] = std::max({Component(c[0], a), Component(c[1], a), Component(c[2], a)});
    }
    item.reference = reference;
    b.items.push_back(item);
}

void HXAxisBoxTree::FinishBuild() {
    if (!build_) return;
    Build& b = *build_;
    FloatNode root{0, 0, {0, 0, 0}, {0, 0, 0}};
    std::vector<uint32_t> all(b.items.size());
    for (uint32_t k = 0; k < all.size(); ++k)
        all[k] = k;
    if (!b.items.empty()) {
        for (int a = 0; a < 3; ++a) {
            root.min[a] = FLT_MAX;
            root.max[a] = -FLT_MAX;
        }
        for (const Item& it : b.items)
            for (int a = 0; a < 3; ++a) {
                root.min[a] = std::min(root.min[a], it.min[a]);
                root.max[a] = std::max(root.max[a], it.max[a]);
            }
    }
    b.nodes.push_back(root);
    BuildNode(0, all, 0);
    Compact();
    build_.reset();
}

void HXAxisBoxTree::BuildNode(size_t node, std::vector<uint32_t>& items, uint32_t level) {
    Build& b = *build_;
    depth_ = std::max(depth_, level);
    if (items.size() <= b.leafSize) {
        b.nodes[node].first = -1 - static_cast<int32_t>(b.leafList.size());
        b.nodes[node].second = static_cast<int32_t>(items.size());
        for (uint32_t i : items)
            b.leafList.push_back(b.items[i].reference);
        return;
    }
    const FloatNode box = b.nodes[node];
    auto sortAlong = [&](int axis) {
        std::sort(items.begin(), items.end(), [&](uint32_t l, uint32_t r) {
            double cl = (double{b.items[l].min[axis]} + b.items[l].max[axis]) / 2;
            double cr = (double{b.items[r].min[axis]} + b.items[r].max[axis]) / 2;
            return cl < cr;
        });
        size_t left = items.size() / 2;
        if (left % 2 == 1 && (items.size() - left) % 2 == 1) {
            // Both halves odd: the left half's last item goes to the end of the right half.
            std::rotate(items.begin() + static_cast<ptrdiff_t>(left) - 1,
                        items.begin() + static_cast<ptrdiff_t>(left), items.end());
            --left;
        }
        return left;
    };
    auto grow = [&](size_t from, size_t to, FloatNode& out) {
        for (int a = 0; a < 3; ++a) {
            out.min[a] = FLT_MAX;
            out.max[a] = -FLT_MAX;
        }
        for (size_t k = from; k < to; ++k)
            for (int a = 0; a < 3; ++a) {
                out.min[a] = std::min(out.min[a], b.items[items[k]].min[a]);
                out.max[a] = std::max(out.max[a], b.items[items[k]].max[a]);
            }
    };
    int order[3];
    AxisOrder(box.max[0] - box.min[0], box.max[1] - box.min[1], box.max[2] - box.min[2], order);
    int bestAxis = order[0];
    double bestScore = DBL_MAX;
    for (int axis : order) {
        size_t left = sortAlong(axis);
        FloatNode l{}, r{};
        grow(0, left, l);
        grow(left, items.size(), r);
        double extent = double{box.max[axis]} - box.min[axis];
        double score = extent > 0 ? (double{l.max[axis]} - r.min[axis]) / extent : 0;
        if (score < bestScore) {
            bestScore = score;
            bestAxis = axis;
        }
    }
    size_t left = sortAlong(bestAxis);
    FloatNode l{}, r{};
    grow(0, left, l);
    grow(left, items.size(), r);
    std::vector<uint32_t> leftItems(items.begin(), items.begin() + static_cast<ptrdiff_t>(left));
    std::vector<uint32_t> rightItems(items.begin() + static_cast<ptrdiff_t>(left), items.end());
    items.clear();
    items.shrink_to_fit();
    size_t li = b.nodes.size();
    b.nodes.push_back(l);
    b.nodes.push_back(r);
    b.nodes[node].first = static_cast<int32_t>(li);
    b.nodes[node].second = static_cast<int32_t>(li + 1);
    BuildNode(li, leftItems, level + 1);
    BuildNode(li + 1, rightItems, level + 1);
}

void HXAxisBoxTree::Compact() {
    Build& b = *build_;
    double C = 0, H = 0;
    for (const FloatNode& n : b.nodes)
        for (int a = 0; a < 3; ++a) {
            C = std::max(C, std::fabs((double{n.min[a]} + n.max[a]) / 2));
            H = std::max(H, (double{n.max[a]} - n.min[a]) / 2);
        }
    centreScale_ = C > 0 && std::isfinite(C) ? static_cast<float>(32767.0 / C) : 0;
    halfScale_ = H > 0 && std::isfinite(H) ? static_cast<float>(32767.0 / H) : 0;
    centreInverse_ = centreScale_ != 0 ? 1.0f / centreScale_ : 0;
    halfInverse_ = halfScale_ != 0 ? 1.0f / halfScale_ : 0;
    nodes_.resize(b.nodes.size());
    for (size_t k = 0; k < b.nodes.size(); ++k) {
        const FloatNode& f = b.nodes[k];
        CompactNode& c = nodes_[k];
        c.first = f.first;
        c.second = f.second;
        for (int a = 0; a < 3; ++a) {
            double centre = (double{f.min[a]} + f.max[a]) / 2,
                   half = (double{f.max[a]} - f.min[a]) / 2;
            double qc = std::clamp(std::nearbyint(centre * centreScale_), -32768.0, 32767.0);
            double qh = std::clamp(std::nearbyint(half * halfScale_), 0.0, 65535.0);
            if (!std::isfinite(qc)) qc = 0;
            if (!std::isfinite(qh)) qh = 65535;
            c.centre[a] = static_cast<int16_t>(qc);
            uint32_t h = static_cast<uint32_t>(qh);
            // Widened until the box it stands for holds the float box.
            for (;;) {
                float dc = static_cast<float>(c.centre[a]) * centreInverse_;
                float dh = static_cast<float>(h) * halfInverse_;
                const bool holds = dc - dh <= f.min[a] && dc + dh >= f.max[a];
                // One centre step of the shared scale can exceed the widest capped box (a
                // small mesh far from its origin): such a box would hide its triangles, so the
                // whole tree's boxes are then not trusted by queries.
                if (!holds && h >= 65535) looseBoxes_ = true;
                if (holds || h >= 65535) break;
                ++h;
            }
            c.half[a] = static_cast<uint16_t>(std::min<uint32_t>(h, 65535));
        }
    }
    leaves_.resize(b.leafList.size() * 3);
    for (size_t k = 0; k < b.leafList.size(); ++k) {
        uint32_t v = b.leafList[k] & 0xFFFFFF;
        leaves_[3 * k] = static_cast<uint8_t>(v);
        leaves_[3 * k + 1] = static_cast<uint8_t>(v >> 8);
        leaves_[3 * k + 2] = static_cast<uint8_t>(v >> 16);
    }
}

uint32_t HXAxisBoxTree::LeafReference(size_t entry) const {
    return uint32_t{leaves_[3 * entry]} | uint32_t{leaves_[3 * entry + 1]} << 8 |
           uint32_t{leaves_[3 * entry + 2]} << 16;
}

void HXAxisBoxTree::GetNodeBox(size_t node, Vector3* min, Vector3* max) const {
    const CompactNode& c = nodes_[node];
    float lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        float dc = static_cast<float>(c.centre[a]) * centreInverse_;
        float dh = static_cast<float>(c.half[a]) * halfInverse_;
        lo[a] = dc - dh;
        hi[a] = dc + dh;
    }
    *min = {lo[0], lo[1], lo[2]};
    *max = {hi[0], hi[1], hi[2]};
}

// --- querying ------------------------------------------------------------------------------------

struct Segment {
    Vector3 start, end, centre, half, direction;
    Vector3 lo, hi;  // the segment's box
    float inverseLengthSquared;
    float startDot;
};

void HXAxisBoxTree::Visit(size_t node, const Segment& s, HXSegmentHit& best) const {
    const CompactNode& n = nodes_[node];
    if (n.first < 0) {
        size_t from = static_cast<size_t>(-1 - int64_t{n.first});
        for (size_t k = from; k < from + static_cast<uint32_t>(n.second) && k < GetLeafEntryCount();
             ++k) {
            uint32_t reference = LeafReference(k);
            Vector3 c[3];
            if (!geometry_->GetTriangle(reference, c)) continue;
            // A triangle whose box misses the segment's cannot be met: most of a leaf is
            // passed over here, before its plane is worked out.
            if (std::max({c[0].x, c[1].x, c[2].x}) < s.lo.x ||
                std::min({c[0].x, c[1].x, c[2].x}) > s.hi.x ||
                std::max({c[0].y, c[1].y, c[2].y}) < s.lo.y ||
                std::min({c[0].y, c[1].y, c[2].y}) > s.hi.y ||
                std::max({c[0].z, c[1].z, c[2].z}) < s.lo.z ||
                std::min({c[0].z, c[1].z, c[2].z}) > s.hi.z)
                continue;
            Vector3 normal = (c[1] - c[0]).Cross(c[2] - c[0]);
            float offset = normal.Dot(c[0]);
            float ds = normal.Dot(s.start) - offset, de = normal.Dot(s.end) - offset;
            if ((ds > 0 && de > 0) || (ds < 0 && de < 0)) continue;
            float f = ds == de ? 0.0f : ds / (ds - de);
            Vector3 p = s.start + s.direction * f;
            if ((best.reference == -1 || f <= best.fraction) && PointInTriangle(normal, c, p)) {
                best.point = p;
                best.normal = normal;
                best.fraction = f;
                best.reference = static_cast<int32_t>(reference);
                best.spare = -1;
            }
        }
        return;
    }
    size_t children[2] = {static_cast<size_t>(n.first), static_cast<size_t>(n.second)};
    float nearest[2];
    for (int k = 0; k < 2; ++k) {
        Vector3 mn, mx;
        GetNodeBox(children[k], &mn, &mx);
        float d = 0;
        for (int a = 0; a < 3; ++a) {
            float dir = Component(s.direction, a);
            d += std::min(dir * Component(mn, a), dir * Component(mx, a));
        }
        nearest[k] = (d - s.startDot) * s.inverseLengthSquared;
    }
    int firstChild = nearest[1] < nearest[0] ? 1 : 0;
    for (int k : {firstChild, 1 - firstChild}) {
        if (looseBoxes_) {
            Visit(children[k], s, best);
            continue;
        }
        if (best.reference != -1 && nearest[k] > best.fraction) continue;
        Vector3 mn, mx;
        GetNodeBox(children[k], &mn, &mx);
        // Separating axes: the box's three, then the three crossings with the segment.
        Vector3 c = (mn + mx) * 0.5f, e = (mx - mn) * 0.5f, d = s.centre - c, h = s.half;
        Vector3 ah{std::fabs(h.x), std::fabs(h.y), std::fabs(h.z)};
        if (std::fabs(d.x) > e.x + ah.x || std::fabs(d.y) > e.y + ah.y ||
            std::fabs(d.z) > e.z + ah.z)
            continue;
        if (std::fabs(d.y * h.z - d.z * h.y) > e.y * ah.z + e.z * ah.y ||
            std::fabs(d.z * h.x - d.x * h.z) > e.x * ah.z + e.z * ah.x ||
            std::fabs(d.x * h.y - d.y * h.x) > e.x * ah.y + e.y * ah.x)
            continue;
        Visit(children[k], s, best);
    }
}

HXSegmentHit HXAxisBoxTree::SegmentQuery(const Vector3& start, const Vector3& end) const {
    HXSegmentHit best;
    if (nodes_.empty() || geometry_ == nullptr || !Finite(start) || !Finite(end)) return best;
    Segment s;
    s.start = start;
    s.end = end;
    s.centre = (start + end) * 0.5f;
    s.half = (end - start) * 0.5f;
    s.direction = end - start;
    s.lo = {std::min(start.x, end.x), std::min(start.y, end.y), std::min(start.z, end.z)};
    s.hi = {std::max(start.x, end.x), std::max(start.y, end.y), std::max(start.z, end.z)};
    float lengthSquared = s.direction.LengthSquared();
    s.inverseLengthSquared = lengthSquared > 0 ? 1.0f / lengthSquared : 0;
    s.startDot = s.direction.Dot(start);
    // The root is visited when the segment meets its box (Visit tests children; the root by
    // the same test through a one-node walk).
    Vector3 mn, mx;
    GetNodeBox(0, &mn, &mx);
    Vector3 c = (mn + mx) * 0.5f, e = (mx - mn) * 0.5f, d = s.centre - c, h = s.half;
    Vector3 ah{std::fabs(h.x), std::fabs(h.y), std::fabs(h.z)};
    if (!looseBoxes_ &&
        (std::fabs(d.x) > e.x + ah.x || std::fabs(d.y) > e.y + ah.y || std::fabs(d.z) > e.z + ah.z))
        return best;
    Visit(0, s, best);
    if (best.reference != -1) {
        float length = best.normal.Length();
        if (length > 0) best.normal = best.normal * (1.0f / length);
    } else {
        best.fraction = -1.0f;
    }
    return best;
}

// --- ray and triangle
// ------------------------------------------------------------------------------

namespace {

bool RayTriangle(const Vector3& origin, const Vector3& direction, const Vector3& a,
                 const Vector3& b, const Vector3& c, float* best, bool twoSided) {
    constexpr float kEpsilon = 1e-6f;
    if (!Finite(origin) || !Finite(direction)) return false;
    Vector3 e1 = b - a, e2 = c - a;
    Vector3 p = direction.Cross(e2);
    float det = e1.Dot(p);
    Vector3 t = origin - a;
    Vector3 q = t.Cross(e1);
    float distance;
    if (!twoSided) {
        if (!(det >= kEpsilon)) return false;
        float u = t.Dot(p);
        if (u < 0 || u > det) return false;
        float v = direction.Dot(q);
        if (v < 0 || u + v > det) return false;
        distance = e2.Dot(q) / det;
    } else {
        if (!(det <= -kEpsilon || det >= kEpsilon)) return false;
        float inv = 1.0f / det;
        float u = inv * t.Dot(p);
        if (!(u >= 0 && u <= 1)) return false;
        float v = inv * direction.Dot(q);
        if (!(v >= 0 && u + v <= 1)) return false;
        distance = inv * e2.Dot(q);
    }
    if (best && distance < *best) *best = distance;
    return true;
}

}  // namespace

bool RayTriangleOneSided(const Vector3& origin, const Vector3& direction, const Vector3& a,
                         const Vector3& b, const Vector3& c, float* best) {
    return RayTriangle(origin, direction, a, b, c, best, false);
}

bool RayTriangleTwoSided(const Vector3& origin, const Vector3& direction, const Vector3& a,
                         const Vector3& b, const Vector3& c, float* best) {
    return RayTriangle(origin, direction, a, b, c, best, true);
}

std::unique_ptr<HXAxisBoxTree> BuildCollisionTree(
    const HalvexIndexedMeshDefinition& definition,
    std::unique_ptr<CollisionGeometrySharingInterface>* geometry) {
    if (!*geometry) *geometry = std::make_unique<CollisionGeometrySharingInterface>(definition);
    return BuildCollisionTree(definition, geometry->get());
}

std::unique_ptr<HXAxisBoxTree> BuildCollisionTree(
    const HalvexIndexedMeshDefinition& definition,
    const CollisionGeometrySharingInterface* geometry) {
    auto tree = std::make_unique<HXAxisBoxTree>(geometry);
    tree->StartBuild(HXAxisBoxTree::kDefaultLeafSize);
    for (uint32_t chunk = 0; chunk < definition.GetNumSubMeshes(); ++chunk) {
        const auto& c = definition.GetChunk(chunk);
        if (!c || c->GetIndexArray() == nullptr) continue;
        uint32_t count = c->GetIndexCount();
        if (count == 0 || count == 2) continue;
        for (uint32_t first = 0; first + 2 < count; first += 3)
            tree->AddTriangle(chunk, first);
    }
    tree->FinishBuild();
    return tree;
}
