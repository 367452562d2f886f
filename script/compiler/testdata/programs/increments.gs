// expect int 30
class Box { public int n; public float f; };
class Test {
  int count;
  int Run() {
    Box b = new Box();
    int[] a = new int[1];
    int x = 5;
    int old = x++;                   // old 5, x 6
    ++x;                             // 7
    b.n++;                           // 1
    int was = b.n--;                 // was 1, n 0
    a[0]++;
    count++;
    b.f = 1.5;
    b.f++;                           // 2.5
    return old + x + was + a[0] + count + (int) (b.f * 2.0) + b.n + 10;   // 5+7+1+1+1+5+0+10
  }
};
