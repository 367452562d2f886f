// A scenery script linked against the program's own libraries: a game object, but neither a
// vehicle nor a trackside object.
include "gs.gs"

class LinesideHut isclass GameObject
{
  public int visits;

  public void Visit()
  {
    visits = visits + 1;
  }
};
