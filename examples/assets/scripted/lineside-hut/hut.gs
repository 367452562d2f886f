// A plain scenery script: neither a vehicle nor a trackside object.
class LinesideHut
{
  public int visits;

  public void Visit()
  {
    visits = visits + 1;
  }
};
