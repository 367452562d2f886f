// A place in the world: the baseboard it lies on and the position on that baseboard.
class WorldCoordinate
{
  public int baseboardX;
  public int baseboardY;
  public float x;
  public float y;
  public float z;
};
