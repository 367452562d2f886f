class A { void f(int i, int[] a, string s) { i[0]; a[1.5]; s["x"]; i[0, 1]; a[1.5, ]; a[, "x"]; } };
