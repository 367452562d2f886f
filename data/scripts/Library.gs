// Library: a script that other scripts share, one object per library asset and context.
// LibraryCall is how other scripts call it by name.
include "HalvexGameObject.gs"
include "OnlineAccess.gs"
include "Menu.gs"

game class Library isclass HalvexGameObject
{
  public string LibraryCall(string function, string[] stringParam, GSObject[] objectParam) { return ""; }

  public native OnlineAccess GetOnlineAccess(void);
  // Calls a function of the library's native plug-in.
  public native string LibraryCallNative(string function, string[] stringParam, GSObject[] objectParam);
  public native void AddSystemMenuIcon(Asset iconAsset, string tooltip, string text);
  public native void AddSystemMenuIcon(Asset iconAsset, string tooltip, string text, bool flash);
  public native void BlinkSystemMenuIcon(int count);
  public native void RemoveSystemMenuIcon(void);
  public native void ShowSystemMenuIconMenu(Menu menu);
  public native void HideSystemMenuIconMenu(void);
};
