// expect int 17
class Test {
  int Run() {
    int a = 7, b = 3;
    int c = a * b - a / b + a % b;   // 21 - 2 + 1
    c = -c + 40;                     // 20
    return c - (2 + 1);              // 17
  }
};
