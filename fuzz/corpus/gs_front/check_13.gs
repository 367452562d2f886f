class A { void f(); public void f() { } };
