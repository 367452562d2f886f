// expect int 27
class Test {
  int Run() {
    int r = 0;
    bool t = true;
    if (t and 5) r = r + 1;
    if (0 or t) r = r + 2;
    if (!(t and 0)) r = r + 8;
    r = r | 16;
    r = r ^ 0;
    r = r & 27;
    return (r << 2) >> 2;
  }
};
