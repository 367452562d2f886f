class C { void f() {
a[,];
} };
