// Random numbers and a square root.

static class Math
{
  // A random value from a up to (not including) b.
  public native float Rand(float a, float b);
  public native int Rand(int a, int b);

  public native float Sqrt(float value);
};
