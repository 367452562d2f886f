class B { }; class C { }; class A { void f(B b, C c, int i, string s) { c = b; i = s; s = b; b = cast<B> c; i = (int) s; g() = 2; } int g() { return 1; } };
