#include "platform/kiv/scene/view.h"

namespace Kiv {

void ViewPoint::NextFrame() {
    ++frame_;
    added_.clear();
    draws_.clear();
}

uint32_t ViewPoint::CalcWantedMipLevelsForCull(float radius, const Vector3& centre) {
    ++mipAsks_;
    if (!(radius > 0.0f)) return 0;
    float distance = (GetCameraPosition() - centre).Length();
    uint32_t level = 0;
    while (distance > radius && level < 15) {
        distance *= 0.5f;
        ++level;
    }
    return level;
}

void GetSubNames(const PString& name, PString* first, PString* rest) {
    const std::string_view n = name.view();
    const size_t dot = n.find('.');
    *first = PString(n.substr(0, dot));
    *rest = dot == std::string_view::npos ? PString() : PString(n.substr(dot + 1));
}

AttachmentPoint::AttachmentPoint(PString name) : Particle(std::move(name)) {
    Kiv::GetSubNames(GetName(), &first_, &rest_);
}

std::unique_ptr<Particle> AttachmentPoint::Copy() const {
    auto p = std::make_unique<AttachmentPoint>(GetName());
    CopyInto(*p);
    return p;
}

std::unique_ptr<AttachmentPoint> ParticleStructure::AddAttachmentPoint(
    std::unique_ptr<AttachmentPoint> point) {
    for (const AttachmentPoint* held : attachments_)
        if (held->GetName() == point->GetName()) return point;
    attachments_.push_back(static_cast<AttachmentPoint*>(AddChild(std::move(point))));
    return nullptr;
}

void ParticleStructure::InitInstance(const ParticleStructure& source) {
    references_ = source.references_;
    attachments_.clear();
    for (const AttachmentPoint* held : source.attachments_)
        for (const auto& child : GetChildren())
            if (child->GetName() == held->GetName()) {
                if (auto* point = dynamic_cast<AttachmentPoint*>(child.get())) {
                    attachments_.push_back(point);
                    break;
                }
            }
}

}  // namespace Kiv
