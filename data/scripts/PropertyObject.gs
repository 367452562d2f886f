// PropertyObject: a game object whose properties the program hands in (SetProperties) and
// reads back (GetProperties) as a Soup. Classes override both to keep what they need.
include "gs.gs"
include "Soup.gs"
include "Constructors.gs"

game class PropertyObject isclass GameObject
{
  public void SetProperties(Soup soup) { }
  public Soup GetProperties(void) { return ConstructorsBase.NewSoup(); }
};
