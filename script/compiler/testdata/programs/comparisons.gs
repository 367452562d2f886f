// expect int 63
class Test {
  int Run() {
    int r = 0;
    float f = 2.5;
    string s = "b";
    if (1 < 2) r = r + 1;
    if (3 >= 3) r = r + 2;
    if (f > 2) r = r + 4;
    if (s == "b") r = r + 8;
    if (s != "a") r = r + 16;
    if (s > "a") r = r + 32;
    if (0x80000000 < 1) r = r + 64 - 64;
    return r;
  }
};
