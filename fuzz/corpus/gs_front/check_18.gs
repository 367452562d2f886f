class A { void f() { public int x; define int y = 1; } };
