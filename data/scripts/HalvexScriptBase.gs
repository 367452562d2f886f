// HalvexScriptBase: the services of the world the calling script runs in: clocks, libraries,
// assets, the log and the product's version.
include "gs.gs"
include "kuid.gs"
include "Soup.gs"
include "asset.gs"
include "Library.gs"

static class HalvexScriptBase
{
  public native float GetSeconds(void);
  // The time of day: 0.0 at noon, 0.5 at midnight.
  public native float GetNormalizedSystemTime(void);
  public native int GetSystemYear(void);
  public native int GetSystemMonth(void);
  public native int GetSystemDate(void);
  public native int GetSystemHour(void);
  public native int GetSystemMinute(void);
  public native int GetSystemSecond(void);
  public native Library GetLibrary(KUID kuid);
  public native Asset FindAsset(KUID kuid);
  public native Asset[] GetAssetList(string kind);
  public native Asset[] GetAssetList(string kind, string category);
  public native KUID[] SearchAssets(string text, bool flag);
  public native Asset[] FindUpdatedAssets(void);
  public native Soup HalvexSystemCall(string name, Soup parameters);
  public native bool OpenURL(string url);
  public native int QueryVendrixAccess(void);
  public native void Log(string text);
  public native float GetHalvexVersion(void);
  public native int GetHalvexBuild(void);
  public native KUID CloneKUID(KUID kuid);
};
