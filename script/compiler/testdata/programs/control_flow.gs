// expect int 46
class Test {
  int Pick(int v) {
    switch (v) {
      case 1: return 10;
      case 7: return 20;
      default: return 1;
    }
    return 0;
  }
  int Run() {
    int r = 0, i = 0;
    while (1) {
      i++;
      if (i == 3) continue;
      if (i > 5) break;
      r = r + i;                     // 1 2 4 5
    }
    again:
    if (r < 14) { r = r + 1; goto again; }
    return r + Pick(1) + Pick(7) + Pick(3) + 1;   // 14 + 10 + 20 + 1 + 1
  }
};
