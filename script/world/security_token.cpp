#include "script/world/security_token.h"

#include <memory>
#include <new>

#include "foundation/logging.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_string_array.h"
#include "script/world/spec_lookup.h"

namespace HalvexWorld {

namespace {

const std::string kDuplicateToken = "duplicate-token";

void InstantiateToken(GSOSecurityToken& token, GSRuntime::GSContext* context) {
    GSRuntime::GSClass* cls = ScriptNatives::GetClassSlot(ScriptNatives::kSecurityToken);
    // Without the class (registration not done) the token has no script instance.
    token.Instantiate(cls, context);
}

}  // namespace

GSOSecurityToken::GSOSecurityToken(GSRuntime::GSContext* context, const void* grantor,
                                   const KUID& grantorAsset, const KUID& kuid,
                                   PermissionSet permissions) {
    Grant& grant = grants_[grantor];
    grant.grantorAsset = grantorAsset;
    grant.table[kuid] = std::move(permissions);
    InstantiateToken(*this, context);
}

GSOSecurityToken::GSOSecurityToken(GSRuntime::GSContext* context, const GSOSecurityToken& source)
    : grants_(source.grants_) {
    InstantiateToken(*this, context);
}

GSOSecurityToken::PermissionSet GSOSecurityToken::PermissionsFromArray(GSRuntime::Ref array) {
    PermissionSet set;
    if (array == 0) return set;
    auto* a = dynamic_cast<GSRuntime::GSArray*>(GSRuntime::GetOwner(array));
    if (a == nullptr || a->elementKind != 1) return set;
    for (uint32_t i = 0; i < a->count; ++i) {
        const GSRuntime::Ref e = a->elements[i];
        if (e == 0) continue;
        if (auto* s = dynamic_cast<GSRuntime::GSString*>(GSRuntime::GetOwner(e)))
            set.insert(s->text);
    }
    return set;
}

const void* GSOSecurityToken::FindGrantorByAsset(const KUID& asset) const {
    for (const auto& [grantor, grant] : grants_)
        if (grant.grantorAsset == asset) return grantor;
    return nullptr;
}

bool GSOSecurityToken::HasPermission(const void* grantor, const KUID& asset,
                                     const std::string& word) const {
    auto g = grants_.find(grantor);
    if (g == grants_.end()) return false;
    auto entry = g->second.table.find(asset);
    if (entry == g->second.table.end()) return false;
    return entry->second.count(word) != 0;
}

GSOSecurityToken* GSOSecurityToken::Merge(GSRuntime::GSContext* context, GSRuntime::Ref array) {
    if (array == 0) return nullptr;
    auto* a = dynamic_cast<GSRuntime::GSArray*>(GSRuntime::GetOwner(array));
    if (a == nullptr || a->elementKind != 1) return nullptr;
    GSOSecurityToken* merged = nullptr;
    for (uint32_t i = 0; i < a->count; ++i) {
        const GSRuntime::Ref e = a->elements[i];
        auto* token = e ? dynamic_cast<GSOSecurityToken*>(GSRuntime::GetOwner(e)) : nullptr;
        if (token == nullptr) continue;
        if (merged == nullptr) {
            merged = new (std::nothrow) GSOSecurityToken(context, *token);
            if (merged == nullptr) return nullptr;
            continue;
        }
        for (const auto& [grantor, grant] : token->grants_) {
            auto mine = merged->grants_.find(grantor);
            if (mine == merged->grants_.end()) {
                merged->grants_.emplace(grantor, grant);
                continue;
            }
            for (const auto& [kuid, words] : grant.table)
                mine->second.table[kuid].insert(words.begin(), words.end());
        }
    }
    return merged;
}

GSOSecurityToken* GSOSecurityToken::ReIssueToken(const GSOSecurityToken& token,
                                                 const void* reissuer, const KUID& reissuerAsset,
                                                 const KUID& kuid, const PermissionSet& requested,
                                                 GSRuntime::GSContext* context) {
    if (requested.empty()) return nullptr;
    bool isGrantor = false;
    bool mayDuplicate = false;
    PermissionSet toGrant;
    for (const auto& [grantor, grant] : token.grants_) {
        if (grantor == reissuer) isGrantor = true;
        auto entry = grant.table.find(reissuerAsset);
        if (entry != grant.table.end() && entry->second.count(kDuplicateToken) != 0) {
            for (const std::string& word : requested)
                if (entry->second.count(word) != 0) toGrant.insert(word);
            mayDuplicate = true;
            break;
        }
    }
    if (!isGrantor && !mayDuplicate) {
        LogOutputf(
            "GSOSecurityToken::ReIssueToken> Unauthorised attempt made to re-issue "
            "security token (%s)",
            reissuerAsset.ToString().c_str());
        return nullptr;
    }
    auto* copy = new (std::nothrow) GSOSecurityToken(context, token);
    if (copy == nullptr) return nullptr;
    if (!isGrantor) {
        Grant& grant = copy->grants_[reissuer];
        grant.grantorAsset = reissuerAsset;
        grant.table.clear();
        grant.table[kuid] = std::move(toGrant);
    } else if (!mayDuplicate) {
        Grant& own = copy->grants_[reissuer];
        auto entry = own.table.find(reissuerAsset);
        if (entry != own.table.end()) {
            for (auto it = entry->second.begin(); it != entry->second.end();)
                it = requested.count(*it) ? std::next(it) : entry->second.erase(it);
        }
    }
    return copy;
}

void GSOSecurityToken::IsOwnerLocallyModified(GSRuntime::GSStack& frame) {
    for (const auto& [grantor, grant] : grants_) {
        for (const auto& [kuid, words] : grant.table) {
            SpecPointer spec = FindOrLoadSpec(kuid);
            if (!spec) continue;
            const bool modified = SpecIsLocallyModified(spec);
            DropSpec(spec);
            if (modified) {
                frame.Push(1);
                return;
            }
        }
    }
    frame.Push(0);
}

void RegisterSecurityTokenNatives(GSRuntime::GSNativeRegistry& registry) {
    registry.Add(std::make_unique<GSRuntime::GSCPPNativeFunction<GSOSecurityToken>>(
        "SecurityToken", "$bool@SecurityToken::IsOwnerLocallyModified()",
        &GSOSecurityToken::IsOwnerLocallyModified));
}

}  // namespace HalvexWorld
