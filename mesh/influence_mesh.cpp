#include "mesh/influence_mesh.h"

#include "platform/kiv/display/geometry_chunk.h"

Kiv::Matrix4x4 HalvexInfluenceMesh::PoseOf(const Kiv::Particle& bone, const Kiv::Particle* stop) {
    Kiv::Matrix4x4 pose = bone.GetLocalMatrix();
    for (const Kiv::Particle* up = bone.GetParent(); up != nullptr && up != stop;
         up = up->GetParent())
        pose = pose * up->GetLocalMatrix();
    return pose;
}

void HalvexInfluenceMesh::TakeBindPoses(const Kiv::Particle* skeleton) {
    for (Influence& influence : influences_) {
        const Kiv::Particle* bone =
            skeleton != nullptr ? const_cast<Kiv::Particle*>(skeleton)->FindByName(influence.name)
                                : nullptr;
        if (bone != nullptr)
            influence.bindInverse = PoseOf(*bone, skeleton->GetParent()).AffineInverse();
    }
}

void HalvexInfluenceMesh::Setup(const HalvexIndexedMeshDefinition& definition) {
    influences_.clear();
    lastFrame_.clear();
    for (const MeshInfluence& mesh : definition.GetInfluences()) {
        Influence influence;
        influence.name = Kiv::PString(mesh.name);
        auto& groups = influence.levels.emplace_back();
        for (const InfluenceGroup& g : mesh.groups) {
            Group group{g.subMesh, {}};
            for (const InfluenceEntry& e : g.entries)
                group.weights.push_back({e.vertex, e.weight});
            groups.push_back(std::move(group));
        }
        influences_.push_back(std::move(influence));
    }
    ChunkArray chunks;
    for (uint32_t i = 0; i < definition.GetNumSubMeshes(); ++i)
        chunks.push_back(definition.GetChunk(i));
    sources_.assign(1, std::move(chunks));
    TakeBindPoses(definition.GetSkeleton());
}

void HalvexInfluenceMesh::Setup(const HalvexIndexedMeshLODDefinition& definition) {
    influences_.clear();
    lastFrame_.clear();
    for (const LodBone& bone : definition.GetBones()) {
        Influence influence;
        influence.name = Kiv::PString(bone.name);
        for (const LodWeightTable& table : bone.levels) {
            auto& groups = influence.levels.emplace_back();
            for (const LodWeightGroup& g : table) {
                Group group{g.chunk, {}};
                for (const LodBoneWeight& w : g.weights)
                    group.weights.push_back({w.vertex, w.values[0]});
                groups.push_back(std::move(group));
            }
        }
        influences_.push_back(std::move(influence));
    }
    sources_.clear();
    for (const LodRecord& record : definition.GetRecords())
        sources_.push_back(record.chunks);
    TakeBindPoses(definition.GetSkeleton());
}

void HalvexInfluenceMesh::SetSkeleton(Kiv::Particle* root) {
    skeleton_ = root;
    for (Influence& influence : influences_)
        influence.bone = root != nullptr ? root->FindByName(influence.name) : nullptr;
    lastFrame_.clear();
}

bool HalvexInfluenceMesh::MovesChunk(uint32_t level, uint32_t c) const {
    for (const Influence& influence : influences_)
        if (level < influence.levels.size())
            for (const Group& group : influence.levels[level])
                if (group.chunk == c && !group.weights.empty()) return true;
    return false;
}

void HalvexInfluenceMesh::Update(const ChunkArray& chunks, uint32_t level, uint32_t frame,
                                 Kiv::RenderKernel* kernel) {
    if (level >= sources_.size()) return;
    const ChunkArray& sources = sources_[level];
    const Kiv::Particle* stop = skeleton_ != nullptr ? skeleton_->GetParent() : nullptr;
    std::vector<std::pair<const Group*, Kiv::Matrix4x4>> moving;
    for (uint32_t c = 0; c < chunks.size() && c < sources.size(); ++c) {
        Kiv::GeometryChunk* chunk = chunks[c].get();
        const Kiv::GeometryChunk* source = sources[c].get();
        // A chunk still shared with the definition is never written.
        if (chunk == nullptr || source == nullptr || chunk == source) continue;
        auto [at, fresh] = lastFrame_.try_emplace({level, c}, frame);
        if (!fresh && at->second == frame) continue;
        at->second = frame;

        moving.clear();
        for (const Influence& influence : influences_) {
            if (level >= influence.levels.size()) continue;
            Kiv::Matrix4x4 skin;  // a missing bone keeps its vertices in the bind pose
            if (influence.bone != nullptr)
                skin = influence.bindInverse * PoseOf(*influence.bone, stop);
            for (const Group& group : influence.levels[level])
                if (group.chunk == c && !group.weights.empty()) moving.emplace_back(&group, skin);
        }
        if (moving.empty()) continue;
        ++updates_;

        const uint32_t vertices = std::min(chunk->GetVertexCount(), source->GetVertexCount());
        if (moving.size() == 1 && moving[0].first->weights.size() == vertices) {
            bool whole = true;
            for (const Weight& w : moving[0].first->weights)
                whole = whole && w.weight == 1.0f;
            if (whole) {
                Kiv::GeometryChunk::InfluenceMatrix m;
                std::copy(moving[0].second.m.begin(), moving[0].second.m.end(), m.begin());
                chunk->AssignInfluenceMatrix(0, m);
                continue;
            }
        }

        const auto* from = reinterpret_cast<const float*>(source->GetItem(Kiv::kItemPositions));
        auto* to = reinterpret_cast<float*>(chunk->GetItem(Kiv::kItemPositions));
        if (from == nullptr || to == nullptr) continue;
        std::vector<Kiv::Vector3> sum(vertices);
        std::vector<float> total(vertices, 0.0f);
        for (const auto& [group, skin] : moving)
            for (const Weight& w : group->weights) {
                if (w.vertex >= vertices) continue;
                const float* p = from + 3 * size_t{w.vertex};
                sum[w.vertex] = sum[w.vertex] + skin.TransformPoint({p[0], p[1], p[2]}) * w.weight;
                total[w.vertex] += w.weight;
            }
        for (uint32_t v = 0; v < vertices; ++v) {
            const float* p = from + 3 * size_t{v};
            const Kiv::Vector3 moved =
                total[v] > 0.0f ? sum[v] * (1.0f / total[v]) : Kiv::Vector3{p[0], p[1], p[2]};
            to[3 * size_t{v}] = moved.x;
            to[3 * size_t{v} + 1] = moved.y;
            to[3 * size_t{v} + 2] = moved.z;
        }
        chunk->RefreshVertices(kernel);
    }
}
