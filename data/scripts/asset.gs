// Asset: one installed asset as a script sees it. Scripts never make one: the program hands out
// one object per asset and context.
include "gs.gs"
include "kuid.gs"
include "Soup.gs"
include "KUIDList.gs"
include "StringTable.gs"
include "Image.gs"

final class Asset isclass GSObject
{
  public native KUID GetKUID(void);
  public native string GetLocalisedName(void);
  public native string GetLocalisedDescription(void);
  public native string GetCreatorName(void);
  // The KUID of the name in the asset's "kuid-table" (or "optional-kuid-table").
  public native KUID LookupKUIDTable(string name);
  public native Asset FindAsset(string name);
  public native StringTable GetStringTable(void);
  // The asset's configuration, locked.
  public native Soup GetConfigSoup(void);
  public native KUIDList GetDependencyList(void);
  public native bool SupportsHalvexBuildVersion(float version);
  // An image file of the asset's folder.
  public native Image LoadImage(string filename);
  public native bool IsLocallyModified(void);
  public native string GetInfoURL(void);
  public native bool GetIsFavorite(void);
  public native void SetIsFavorite(bool favorite);
  public native Asset GetParent(void);
  public native string GetCategoryEra(void);
  public native string GetCategoryRegion(void);
  public native Soup GetSessionRuleData(string name);
  public native bool IsBuiltIn(void);
  public native bool IsOnTheVendrix(void);
};
