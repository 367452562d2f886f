// KUID: the name of one asset (user id, content id and version), as scripts get it from soups,
// KUID lists and assets. The program makes one object per KUID in each script world, so two
// KUID objects of one world are the same KUID exactly when they are the same object.
include "gs.gs"

final class KUID isclass GSObject
{
  // The asset's name as the asset database reports it; empty when it cannot be asked.
  public native string GetName(void);
  // "<kuid:%d:%d>" for version 0, else "<kuid2:%d:%d:%d>".
  public native string GetHTMLString(void);
  public native string GetLogString(void);
  // "<kuid:%d:%d>" whatever the version.
  public native string GetBaseString(void);
  // The KUID without its version (version 0, or 127 for a negative user id).
  public native KUID GetBaseKUID(void);
};
