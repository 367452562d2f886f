class A { void f() { g(); g(1); me.h(); } void g(string s) { } };
