class B { }; class C { }; class A { B f() { C c; return c; } };
