// The machine's own classes: the root of every native object, game objects with their
// messaging, the router of the current context, and the message a script receives.

class GSObject
{
  // The name of this object's script class, "void" for an object without one.
  public native string GetGSClassName();
};

game class GameObject isclass GSObject
{
  // Handled at once by every handler of dest (or of every subscriber when dest is null).
  public native void SendMessage(GameObject dest, string major, string minor);
  public native void SendMessage(GameObject dest, string major, string minor, GSObject paramSoup);

  // Queued for dest, delivered after the given seconds.
  public native void PostMessage(GameObject dest, string major, string minor, float seconds);
  public native void PostMessage(GameObject dest, string major, string minor, GSObject paramSoup, float seconds);

  public native void ClearMessages(string major, string minor);

  // Calls the function "handler" of this object (taking a Message) for each matching message.
  public native void AddHandler(GameObject source, string major, string minor, string handler);

  // With state true, this object also receives the messages sent to target.
  public native void Sniff(GameObject target, string major, string minor, bool state);

  public native void Sleep(float seconds);
  public native int GetId();
  public native string GetName();

  // Ends the calling thread with the reason as its error.
  public native void Exception(string reason);
};

// The router of the context the calling script runs in.
static class Router
{
  public native GameObject GetGameObject(int id);
  public native GameObject GetForeignGameObject(int id);
  public native GameObject GetGameObject(string name);
  public native void Info();
  public native void PostMessage(int source, int destination, string major, string minor, float seconds);
};

// A message handed to a script. The machine fills these members when it makes the object, in
// this order, so they must stay the class's first members and the class must have no base.
class Message
{
  public string major;
  public string minor;
  public GameObject src;
  public GameObject dst;
  public object paramSoup;
};
