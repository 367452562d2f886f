class C { void f() {
a[1]; a[1, 2]; a[, 2]; a[1, ]; a.b.c; f(); f(1, 2); o.m(x); a.size(); a.isclass(Foo); a.copy(b);
} };
