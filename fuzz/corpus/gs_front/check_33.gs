class A { void f(int i, string s) { i.x; s.x; } };
