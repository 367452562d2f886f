class C { void f() {
int i, j = 2; Foo k; string[] s;
} };
