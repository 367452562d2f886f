class B { int p; public int q; int[] r; }; class A { void f(B b) { b.p; b.q; b.z; b.g(); } };
