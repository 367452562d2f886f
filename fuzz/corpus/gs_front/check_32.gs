class A { void f(int i, bool b, string s) { i + b; s - s; i << 1.5; i < f(); i and f(); } };
