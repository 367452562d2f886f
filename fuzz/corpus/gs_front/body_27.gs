class C { void f() {
a += 1;
} };
