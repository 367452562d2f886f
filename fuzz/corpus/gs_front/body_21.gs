class C { void f() {
a = (int) b + c;
} };
