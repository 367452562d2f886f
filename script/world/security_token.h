// GSOSecurityToken, the native object of the script class "SecurityToken": permissions that
// scriptable objects grant one another. A token maps each grantor (a scriptable object, by
// identity) to a grant table, asset KUID to a set of permission words. Tokens are values: issue,
// copy, merge and re-issue make new ones, and a token never changes once made. The one word the
// host reads is "duplicate-token", the right to re-issue what one was granted.
//
// A grantor is kept by identity and never referenced, so a token may outlive it. Its asset KUID
// is therefore recorded when it grants, and every look-up by asset KUID reads that record, never
// the grantor object.
#pragma once

#include <map>
#include <set>
#include <string>

#include "configdata/kuid.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace GSRuntime {
class GSNativeRegistry;
}

namespace HalvexWorld {

class GSOSecurityToken : public GSRuntime::GSObject {
public:
    using PermissionSet = std::set<std::string>;
    using GrantTable = std::map<KUID, PermissionSet>;
    struct Grant {
        KUID grantorAsset;  // the grantor's asset KUID when it granted
        GrantTable table;
    };
    // Ordered by the grantors' identities.
    using Grants = std::map<const void*, Grant>;

    // Issue: the grantor gives the asset `kuid` the permissions.
    GSOSecurityToken(GSRuntime::GSContext* context, const void* grantor, const KUID& grantorAsset,
                     const KUID& kuid, PermissionSet permissions);
    // Copy: a deep copy of the source's grants.
    GSOSecurityToken(GSRuntime::GSContext* context, const GSOSecurityToken& source);

    const Grants& GetGrants() const { return grants_; }

    // The words of a script string array: strings in index order, nulls and other objects
    // skipped, duplicates collapsed.
    static PermissionSet PermissionsFromArray(GSRuntime::Ref array);
    // The first grantor (in key order) whose asset KUID is `asset`; null when none.
    const void* FindGrantorByAsset(const KUID& asset) const;
    // Whether the grantor gave the asset the word.
    bool HasPermission(const void* grantor, const KUID& asset, const std::string& word) const;
    // The tokens of a script array merged: the first token copied, every later one's grants
    // added to the copy; null when the array holds no token.
    static GSOSecurityToken* Merge(GSRuntime::GSContext* context, GSRuntime::Ref array);
    // A new token re-issued by `reissuer` (whose asset KUID is `reissuerAsset`) for `kuid`;
    // null when nothing is asked for or the re-issuer has no right to (the refusal logged).
    static GSOSecurityToken* ReIssueToken(const GSOSecurityToken& token, const void* reissuer,
                                          const KUID& reissuerAsset, const KUID& kuid,
                                          const PermissionSet& requested,
                                          GSRuntime::GSContext* context);

    // The native of SecurityToken.
    void IsOwnerLocallyModified(GSRuntime::GSStack& frame);

private:
    Grants grants_;
};

// Appends the SecurityToken native to the registry.
void RegisterSecurityTokenNatives(GSRuntime::GSNativeRegistry& registry);

}  // namespace HalvexWorld
