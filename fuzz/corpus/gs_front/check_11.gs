class A { void f() { } void f() { } void g() { x; } };
