// ConstructorsBase: how scripts make the program's native objects.
include "Soup.gs"
include "KUIDList.gs"
include "Image.gs"

static class ConstructorsBase
{
  // A new empty, unlocked soup.
  public native Soup NewSoup(void);
  // A new empty, unlocked KUID list.
  public native KUIDList NewKUIDList(void);
  public native Image NewImage(void);
};
