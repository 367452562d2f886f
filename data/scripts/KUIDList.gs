// KUIDList: a set of KUIDs in the order they were added. Lists that the program hands out
// (an asset's dependencies) are locked copies; ConstructorsBase.NewKUIDList() makes an
// unlocked one.
include "gs.gs"
include "kuid.gs"

final class KUIDList isclass GSObject
{
  public native int CountKUIDs(void);
  // Adds the KUID unless the list holds it already.
  public native void AddKUID(KUID kuid);
  public native void RemoveKUID(KUID kuid);
  public native bool HasKUID(KUID kuid);
  public native KUID GetIndexedKUID(int index);
  public native void Copy(KUIDList source);
  public native void Clear(void);
  public native bool IsLocked(void);
};
