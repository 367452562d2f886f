class C { void f() {
(int) a; (float[]) b; cast<Foo> c; cast<Foo[]> d; cast<int> e; (int)(float) f;
} };
