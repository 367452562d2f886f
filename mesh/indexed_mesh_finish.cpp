// The steps that finish a loaded indexed mesh: totals, the skeleton from the influences, the
// skin palette, the bounds, the texel scale and the oriented box.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "mesh/indexed_mesh_definition.h"
#include "mesh/skin_placement.h"

void HalvexIndexedMeshDefinition::TotalCounts() {
    totalVertices_ = totalFaces_ = 0;
    for (const auto& c : chunks_) {
        if (!c) continue;
        totalVertices_ += c->GetVertexCount();
        totalFaces_ += c->GetFaceCount();
    }
}

std::unique_ptr<Kiv::Particle> BuildBoneTree(std::span<const BoneSpec> specs,
                                             std::vector<size_t>* parents) {
    size_t n = specs.size();
    parents->assign(n, n);
    std::vector<std::unique_ptr<Kiv::Particle>> owned(n);
    std::vector<Kiv::Particle*> bones(n);
    for (size_t k = 0; k < n; ++k) {
        auto bone = std::make_unique<Kiv::ParticleBone>(Kiv::PString(specs[k].name));
        bone->SetFrame(specs[k].position, Kiv::Quaternion::FromMatrix(specs[k].orientation));
        bone->SetVisibleBox(Kiv::ParticleBone::SmallBox());
        bones[k] = bone.get();
        owned[k] = std::move(bone);
    }
    size_t root = n;
    for (size_t k = 0; k < n && root == n; ++k)
        if (specs[k].parent.empty()) root = k;
    if (root == n) return nullptr;  // every one names a parent: no tree

    for (size_t k = 0; k < n; ++k) {
        if (k == root) continue;
        size_t parent = n;
        if (!specs[k].parent.empty())
            for (size_t j = 0; j < n; ++j)
                if (specs[j].name == specs[k].parent) {
                    parent = j;
                    break;
                }
        // A parent that is the bone itself or lies under it would close a loop: such a bone,
        // like one whose parent is named nowhere (or that names none), goes under the root.
        if (parent != n) {
            for (Kiv::Particle* up = bones[parent]; up != nullptr; up = up->GetParent())
                if (up == bones[k]) {
                    parent = n;
                    break;
                }
        }
        if (parent == n) parent = root;
        (*parents)[k] = parent;
        bones[parent]->AddChild(std::move(owned[k]));
    }
    (*parents)[root] = n;
    return std::move(owned[root]);
}

void HalvexIndexedMeshDefinition::BuildSkeletonFromInfluences() {
    if (influences_.empty()) return;
    std::vector<BoneSpec> specs;
    specs.reserve(influences_.size());
    for (const MeshInfluence& inf : influences_)
        specs.push_back({inf.name, inf.parentName, inf.position, inf.orientation});
    std::vector<size_t> parents;
    auto root = BuildBoneTree(specs, &parents);
    if (!root) return;  // the skeleton stays as it was
    // Every bone not the root now names the parent it hangs under.
    for (size_t k = 0; k < influences_.size(); ++k)
        if (parents[k] < influences_.size())
            influences_[k].parentName = influences_[parents[k]].name;
    skeleton_ = std::move(root);
}

void HalvexIndexedMeshDefinition::PrepareSkinPalette() {
    for (size_t k = 0; k < influences_.size(); ++k) {
        const MeshInfluence* inf = &influences_[k];
        if (!boneNames_.empty()) {
            if (k >= boneNames_.size()) break;
            inf = nullptr;
            for (const MeshInfluence& candidate : influences_)
                if (candidate.name == boneNames_[k].view()) {
                    inf = &candidate;
                    break;
                }
            if (inf == nullptr) continue;
        }
        for (const InfluenceGroup& group : inf->groups) {
            if (group.subMesh >= chunks_.size() || !chunks_[group.subMesh]) continue;
            Kiv::GeometryChunk& chunk = *chunks_[group.subMesh];
            if (chunk.GetFlags() & Kiv::GeometryChunk::kFlagSoftwareSkinning) continue;
            if (chunk.GetVertexCount() < group.entries.size()) continue;
            if (!ChunkHasSkinItems(chunk)) continue;
            uint32_t p = chunk.AddInfluenceMatrix(static_cast<uint32_t>(k));
            for (const InfluenceEntry& e : group.entries)
                PlaceInfluence(chunk, e.vertex, p, e.weight, PackedWeightRounding::kNearest);
        }
    }
}

void HalvexIndexedMeshDefinition::BoundsOf(
    const std::vector<std::shared_ptr<Kiv::GeometryChunk>>& chunks, Kiv::Vector3* min,
    Kiv::Vector3* max) {
    Kiv::Vector3 lo{FLT_MAX, FLT_MAX, FLT_MAX}, hi{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (const auto& c : chunks) {
        if (!c) continue;
        const float* p = reinterpret_cast<const float*>(c->GetItem(Kiv::kItemPositions));
        if (p == nullptr) continue;
        for (uint32_t v = 0; v < c->GetVertexCount(); ++v, p += 3) {
            lo = {std::min(lo.x, p[0]), std::min(lo.y, p[1]), std::min(lo.z, p[2])};
            hi = {std::max(hi.x, p[0]), std::max(hi.y, p[1]), std::max(hi.z, p[2])};
        }
    }
    if (lo.x == FLT_MAX) lo = hi = {};
    *min = lo;
    *max = hi;
}

void HalvexIndexedMeshDefinition::ComputeBounds() {
    BoundsOf(chunks_, &boundsMin_, &boundsMax_);
}

void HalvexIndexedMeshDefinition::ComputeTexelScale() {
    double sum = 0, weightTotal = 0, largest = 0;
    bool counted = false;
    for (const auto& c : chunks_) {
        if (!c) continue;
        const float* pos = reinterpret_cast<const float*>(c->GetItem(Kiv::kItemPositions));
        const float* uv = reinterpret_cast<const float*>(c->GetItem(Kiv::kItemTexCoord0));
        const uint16_t* idx = c->GetIndexArray();
        if (!pos || !uv || !idx) continue;
        uint32_t vc = c->GetVertexCount();
        for (uint32_t t = 0; t + 3 <= c->GetIndexCount(); t += 3) {
            uint32_t a = idx[t], b = idx[t + 1], d = idx[t + 2];
            if (a >= vc || b >= vc || d >= vc) continue;
            auto space = [&](uint32_t u, uint32_t v) {
                double dx = pos[3 * v] - pos[3 * u], dy = pos[3 * v + 1] - pos[3 * u + 1],
                       dz = pos[3 * v + 2] - pos[3 * u + 2];
                return std::sqrt(dx * dx + dy * dy + dz * dz);
            };
            auto tex = [&](uint32_t u, uint32_t v) {
                double du = uv[2 * v] - uv[2 * u], dv = uv[2 * v + 1] - uv[2 * u + 1];
                return std::sqrt(du * du + dv * dv);
            };
            double L1 = space(a, b), L2 = space(a, d), l1 = tex(a, b), l2 = tex(a, d);
            if (l1 * l2 <= 0.00001) continue;
            double r1 = L1 / l1, r2 = L2 / l2, w = 0.5 * L1 * L2;
            sum += w * (r1 + r2);
            weightTotal += 2 * w;
            largest = std::max({largest, r1, r2});
            counted = true;
        }
    }
    if (!counted) {
        texelScale_ = 0;
        return;
    }
    double mean = weightTotal > 0 ? sum / weightTotal : 0;
    texelScale_ = static_cast<float>(std::min(largest, 8 * mean));
}

void HalvexIndexedMeshDefinition::AddBoxCorners(
    const std::vector<std::shared_ptr<Kiv::GeometryChunk>>& chunks,
    std::vector<Kiv::Vector3>& corners) {
    for (const auto& c : chunks) {
        if (!c || c->GetVertexCount() == 0) continue;
        const auto* p = reinterpret_cast<const Kiv::Vector3*>(c->GetItem(Kiv::kItemPositions));
        if (p == nullptr) continue;
        Kiv::OrientedBox box;
        box.Fit({p, c->GetVertexCount()});
        Kiv::Vector3 eight[8];
        box.CalcCorners(eight);
        corners.insert(corners.end(), eight, eight + 8);
    }
}

void HalvexIndexedMeshDefinition::ComputeOrientedBox() {
    std::vector<Kiv::Vector3> corners;
    AddBoxCorners(chunks_, corners);
    orientedBox_.Fit(corners);  // no vertex: the zero box
}

size_t HalvexIndexedMeshDefinition::GetSize() const {
    size_t size = 252 + 52 * attachments_.size() + 300 * influences_.size();
    for (const auto& c : chunks_)
        if (c)
            size +=
                size_t{c->GetVertexCount()} * c->GetVertexSize() + 2 * size_t{c->GetIndexCount()};
    return size;
}
