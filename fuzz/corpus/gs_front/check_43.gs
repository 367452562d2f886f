class B { void p() { } }; class A { void f(B b) { b.p(); x[0](); } };
