// expect int 111
class Base {
  public int Value() { return 1; }
  public int Twice(int x) { return x + x; }
};
class Derived isclass Base {
  public int Value() { return inherited() + 10; }
};
class Test {
  int Run() {
    Base b = new Derived();
    return b.Value() + b.Twice(50) - 11 + 11 - 0;
  }
};
