class A { void f() { on "a", "b": ; } };
