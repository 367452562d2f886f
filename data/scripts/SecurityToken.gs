// SecurityToken: permissions that scriptable objects grant one another. Tokens are issued,
// re-issued, merged and checked through HalvexGameObject; a token never changes once made.
include "gs.gs"

final class SecurityToken isclass GSObject
{
  // True when an asset named in any of the token's grants is locally modified.
  public native bool IsOwnerLocallyModified(void);
};
