// expect int 27
class Test {
  int Run() {
    int[] a = new int[4];
    int i;
    for (i = 0; i < a.size(); i++) a[i] = i * 3;    // 0 3 6 9
    int[] b = a[1, 3];                              // 3 6
    int[] c = new int[0];
    c.copy(a);
    a[0] = 100;
    string[] names = new string[2];
    names[1] = "x";
    return b[0] + b[1] + c[3] + c[0] + names[1].size() * 9 + 9 - 1 + 1 - 9;
  }
};
