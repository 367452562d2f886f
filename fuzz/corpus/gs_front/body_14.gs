class C { void f() {
if (a) if (b) c; else d;
} };
