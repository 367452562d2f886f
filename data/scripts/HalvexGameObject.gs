// HalvexGameObject: a game object made from an asset. Init hands it its asset; it issues,
// re-issues, merges and checks security tokens.
include "PropertyObject.gs"
include "asset.gs"
include "kuid.gs"
include "SecurityToken.gs"

game class HalvexGameObject isclass PropertyObject
{
  Asset m_asset;

  public void Init(Asset asset) { m_asset = asset; }
  public Asset GetAsset(void) { return m_asset; }

  // A token in which this object grants the asset kuid the permissions.
  public native SecurityToken IssueSecurityToken(KUID kuid, string[] permissions);
  // Passes on what this object may pass on of token (it granted it, or holds
  // "duplicate-token" in it).
  public native SecurityToken IssueSecurityToken(SecurityToken token, KUID kuid, string[] permissions);
  public native SecurityToken MergeSecurityTokens(SecurityToken[] tokens);
  // Whether token carries, from grantor to this object's asset, the permission.
  public native bool Validate(SecurityToken token, HalvexGameObject grantor, string permission);
  public native bool Validate(SecurityToken token, KUID grantor, string permission);
};
