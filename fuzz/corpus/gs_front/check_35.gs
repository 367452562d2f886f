class B { define int K = 7; int v; }; class A { void f() { B.v = 1; } };
