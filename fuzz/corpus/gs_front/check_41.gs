class A { define int X = inherited(); void f() { me.inherited(); inherited(); } thread void t() { inherited(); } };
