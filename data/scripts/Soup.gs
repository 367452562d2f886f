// Soup: a configuration tree as scripts read and build it. Sub-soups are views of the same
// tree, not copies (only Copy copies); tag names ignore letter case. A locked soup (an asset's
// configuration, a message's data) can be read but not changed.
include "gs.gs"
include "kuid.gs"

final class Soup isclass GSObject
{
  public native int CountTags(void);
  public native string GetNamedTag(string tagName);
  public native Soup GetNamedSoup(string tagName);
  public native Soup GetNamedSoupAdd(string tagName);
  public native string GetIndexedTagName(int index);
  public native int GetIndexForNamedTag(string tagName);
  public native KUID GetNamedTagAsKUID(string tagName);
  public native int GetNamedTagAsInt(string tagName);
  public native int GetNamedTagAsInt(string tagName, int defaultValue);
  public native float GetNamedTagAsFloat(string tagName);
  public native float GetNamedTagAsFloat(string tagName, float defaultValue);
  public native void SetNamedTag(string tagName, string value);
  public native void SetNamedTag(string tagName, float value);
  public native void SetNamedTag(string tagName, int value);
  public native void SetNamedTag(string tagName, KUID value);
  public native void SetNamedSoup(string tagName, Soup value);
  public native void RemoveNamedTag(string tagName);
  public native void Copy(Soup source);
  public native void Clear(void);
  public native bool IsLocked(void);
  public native Soup GetLockedReference(void);
  public native void AddUniqueNamedSoup(Soup value);
  public native void Log(void);
  public native string AsString(void);
};
