// OnlineAccess: a script's client of the online-access service: data kept for the user,
// messages to and from other users, groups, and an offline store of messages.
include "gs.gs"
include "Soup.gs"
include "OnlineGroup.gs"

final class OnlineAccess isclass GSObject
{
  public native void Connect(void);
  public native int GetStatus(void);
  public native void Disconnect(void);
  public native string GetUsername(void);
  public native int GetLocalData(string key, Soup data);
  public native int SetLocalData(string key, Soup data);
  public native int GetProfileData(string username, Soup data);
  public native int SetProfileData(string username, Soup data);
  public native int PostMessage(string username, Soup message);
  public native int CollectMessage(string username, Soup message);
  public native OnlineGroup CreateGroup(int flags);
  public native OnlineGroup OpenGroup(string cookie, int flags);
  public native int PostOfflineMessage(Soup message);
  public native int CollectOfflineMessage(Soup message);
  public native bool CanAccessMultiplayer(void);
};
