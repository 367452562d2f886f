// expect int 42
class Part { public int weight = 40; };
class Wheel isclass Part { public int diameter = 2; };
class Test {
  int Run() {
    Wheel w = new Wheel();
    Part p = w;
    int r = 0;
    if (p.isclass(Wheel)) r = r + w.diameter;
    Wheel back = cast<Wheel>(p);
    if (back) r = r + back.weight;
    return r;
  }
};
