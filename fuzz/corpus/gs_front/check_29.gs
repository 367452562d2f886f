class A { } ; class B { void f() { A; x = A; } };
