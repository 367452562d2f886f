#include "platform/kiv/display/geometry_chunk.h"

#include <algorithm>
#include <atomic>
#include <span>

#include "platform/kiv/display/render_kernel.h"

namespace Kiv {

namespace {
std::atomic<int> gMissingItem{0};
std::atomic<bool> gMissingIndexArray{false};
}  // namespace

uint32_t VertexItemSize(int item) {
    switch (item) {
        case kItemPositions:
        case kItemNormals:
            return 12;
        case kItemColor1:
        case kItemColor2:
        case kItemPackedWeights:
        case kItemBoneIndices:
            return 4;
        default:
            break;
    }
    if (item >= kItemWeights1 && item <= kItemWeights4) return 4 * (item - kItemWeights1 + 1);
    if (item >= kItemTexCoord0 && item <= kItemTexCoord7) return 8;
    return 0;
}

bool PrimitiveCodeOfBits(uint32_t bits, uint32_t* code) {
    static constexpr uint32_t kBits[6] = {0, 1, 2, 4, 8, 16}, kCodes[6] = {5, 3, 4, 0, 1, 2};
    for (int k = 0; k < 6; ++k)
        if (bits == kBits[k]) {
            *code = kCodes[k];
            return true;
        }
    return false;
}

GeometryChunk::GeometryChunk(uint32_t vertexCount, uint32_t fourthCount, uint32_t indexCount,
                             uint32_t faceCount, uint32_t primitive, const StandardChunkHint& hint)
    : vertexCount_(vertexCount),
      fourthCount_(fourthCount),
      indexCount_(indexCount),
      faceCount_(faceCount),
      primitive_(primitive),
      hint_(hint) {
    std::vector<int> wanted{kItemPositions, kItemNormals, kItemColor1};
    uint32_t sets = std::min<uint32_t>(hint.texCoordSets, 8);
    for (uint32_t k = 0; k < sets; ++k)
        wanted.push_back(kItemTexCoord0 + static_cast<int>(k));
    if (hint.flags & StandardChunkHint::kSkinned) {
        if (hint.flags & StandardChunkHint::kSoftwareSkinning) {
            flags_ |= kFlagSoftwareSkinning;
        } else {
            uint32_t w = std::clamp<uint32_t>(hint.maxWeights, 1, 4);
            if (hint.flags & StandardChunkHint::kFloatWeights)
                wanted.push_back(kItemWeights1 + static_cast<int>(w) - 1);
            else
                wanted.push_back(kItemPackedWeights);
            wanted.push_back(kItemBoneIndices);
        }
    }
    int missing = gMissingItem.load();
    for (int item : wanted)
        if (item != missing) items_[item].assign(size_t{vertexCount} * VertexItemSize(item), 0);
    hasIndexArray_ = !gMissingIndexArray.load();
    indices_.assign(indexCount, 0);
    faceNormals_.assign(size_t{faceCount} * 3, 0.0f);
}

uint32_t GeometryChunk::GetVertexSize() const {
    uint32_t size = 0;
    for (const auto& [item, bytes] : items_)
        size += VertexItemSize(item);
    return size;
}

uint32_t GeometryChunk::GetNumTexCoordSets() const {
    uint32_t n = 0;
    for (int k = kItemTexCoord0; k <= kItemTexCoord7; ++k)
        n += HasItem(k) ? 1 : 0;
    return n;
}

uint8_t* GeometryChunk::GetItem(int item) {
    auto it = items_.find(item);
    return it == items_.end() ? nullptr : it->second.data();
}

const uint8_t* GeometryChunk::GetItem(int item) const {
    auto it = items_.find(item);
    return it == items_.end() ? nullptr : it->second.data();
}

uint32_t GeometryChunk::AddInfluenceMatrix(uint32_t influence) {
    auto it = std::find(palette_.begin(), palette_.end(), influence);
    if (it != palette_.end()) return static_cast<uint32_t>(it - palette_.begin());
    palette_.push_back(influence);
    return static_cast<uint32_t>(palette_.size() - 1);
}

GeometryChunk::~GeometryChunk() {
    if (prepared_)
        RenderKernel::ReleaseBuffersIfAlive(kernel_, kernelSerial_, {vertexBuffer_, indexBuffer_});
}

std::shared_ptr<GeometryChunk> GeometryChunk::Copy() const {
    auto copy = std::make_shared<GeometryChunk>(*this);
    copy->prepared_ = false;
    copy->vertexBuffer_ = copy->indexBuffer_ = 0;
    copy->kernel_ = nullptr;
    copy->kernelSerial_ = 0;
    return copy;
}

bool GeometryChunk::PrepareForDisplay(RenderKernel* kernel) {
    if (kernel == nullptr) return false;
    if (prepared_) return true;
    const uint8_t* pos = GetItem(kItemPositions);
    if (pos == nullptr || vertexCount_ == 0) return false;
    vertexBuffer_ = kernel->CreateVertexBuffer(
        std::span(reinterpret_cast<const std::byte*>(pos), size_t{vertexCount_} * 12), 12);
    if (vertexBuffer_ == RenderKernel::kNoBuffer) return false;
    std::vector<uint32_t> wide(indices_.begin(), indices_.end());
    if (!wide.empty()) {
        indexBuffer_ = kernel->CreateIndexBuffer(wide);
        if (indexBuffer_ == RenderKernel::kNoBuffer) {
            kernel->ReleaseBuffer(vertexBuffer_);
            return false;
        }
    }
    prepared_ = true;
    kernel_ = kernel;
    kernelSerial_ = kernel->GetSerial();
    return true;
}

void GeometryChunk::AssignInfluenceMatrix(uint32_t position, const InfluenceMatrix& matrix) {
    assigned_[position] = matrix;
}

const GeometryChunk::InfluenceMatrix* GeometryChunk::GetAssignedInfluenceMatrix(
    uint32_t position) const {
    auto it = assigned_.find(position);
    return it != assigned_.end() ? &it->second : nullptr;
}

uint32_t GeometryChunk::GetLayout() const {
    return hasIndexArray_ && HasItem(kItemPositions) ? 1 : 0;
}

bool GeometryChunk::AcceptsVertexFormat(const GeometryChunk& other) const {
    if (items_.size() != other.items_.size()) return false;
    for (const auto& [item, bytes] : items_)
        if (!other.HasItem(item)) return false;
    return true;
}

bool GeometryChunk::TakeData(const GeometryChunk& other, RenderKernel* kernel) {
    vertexCount_ = other.vertexCount_;
    fourthCount_ = other.fourthCount_;
    indexCount_ = other.indexCount_;
    faceCount_ = other.faceCount_;
    items_ = other.items_;
    hasIndexArray_ = other.hasIndexArray_;
    indices_ = other.indices_;
    faceNormals_ = other.faceNormals_;
    neighbours_ = other.neighbours_;
    if (kernel == nullptr) return true;
    if (prepared_)
        RenderKernel::ReleaseBuffersIfAlive(kernel_, kernelSerial_, {vertexBuffer_, indexBuffer_});
    prepared_ = false;
    vertexBuffer_ = indexBuffer_ = RenderKernel::kNoBuffer;
    return PrepareForDisplay(kernel);
}

bool GeometryChunk::RefreshVertices(RenderKernel* kernel) {
    // The buffers live on the kernel the chunk was prepared on.
    if (!prepared_ || kernel == nullptr || kernel != kernel_) return false;
    const uint8_t* pos = GetItem(kItemPositions);
    if (pos == nullptr) return false;
    const uint32_t fresh = kernel->CreateVertexBuffer(
        std::span(reinterpret_cast<const std::byte*>(pos), size_t{vertexCount_} * 12), 12);
    if (fresh == RenderKernel::kNoBuffer) return false;
    kernel->ReleaseBuffer(vertexBuffer_);
    vertexBuffer_ = fresh;
    return true;
}

void GeometryChunk::SetMissingItemForTesting(int item) {
    gMissingItem = item;
}
void GeometryChunk::SetMissingIndexArrayForTesting(bool missing) {
    gMissingIndexArray = missing;
}

}  // namespace Kiv
