class A { void f() { if ("s") { } while (f()) { } for (;g();) { } } void g() { } };
