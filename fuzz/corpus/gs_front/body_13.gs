class C { void f() {
if (a) b; else c;
} };
