// A rotation about the three axes, in radians.
class Orientation
{
  public float rx;
  public float ry;
  public float rz;
};
