// StringTable: the localised strings of an asset (its "string-table"), with up to ten
// parameters: "$0" to "$9" in a string are replaced by parameters 0 to 9, and "$$" gives "$".
include "gs.gs"

final class StringTable isclass GSObject
{
  public native string GetLanguage(void);
  public native void ClearParams(void);
  public native void SetParam(int index, string value);
  public native string GetString(string stringName);
};
