class A { void f(int i, object o, int[] a, string s) { i.size(); o.isclass(A); i.isclass(A); o.isclass(Zz); i.copy(a); a.copy(i); a.copy(s); f().copy(s); } string f() { return ""; } };
