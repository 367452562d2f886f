// expect float 2.5
class Test {
  float Run() {
    float x = 1.5;
    int n = 2;
    float y = x * n + 0.5;           // 3.5, the int made a float
    y = y / 2.0 - -0.75;             // 2.5
    return y;
  }
};
