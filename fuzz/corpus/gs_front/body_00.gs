class C { void f() {
x = y = z;
} };
