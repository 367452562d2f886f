class A { void f(int a, int a) { } };
