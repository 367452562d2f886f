class A { void f(); int g(void); float h(int a, Foo b, string[] c) { } native void n(); };
