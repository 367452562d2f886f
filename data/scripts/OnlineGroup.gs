// OnlineGroup: a group of users of the online-access service that exchange messages.
include "gs.gs"
include "Soup.gs"

final class OnlineGroup isclass GSObject
{
  public native void Connect(void);
  public native int GetStatus(void);
  public native void Disconnect(void);
  public native string GetOnlineGroupCookie(void);
  public native void AddUser(string username);
  public native void RemoveUser(string username);
  public native int CountUsers(void);
  public native string GetIndexedUser(int index);
  public native int FindUser(string username);
  public native int GetUserStatus(int index);
  public native int PostMessage(Soup message);
  public native int CollectMessage(string username, Soup message);
  public native void SetModeFlags(int mask, int flags);
  public native void SetUserModeFlags(string username, int mask, int flags);
  public native int GetUserModeFlags(string username);
};
