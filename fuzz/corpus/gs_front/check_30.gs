class A { void f() { y = 1; } };
