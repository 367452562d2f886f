class C { void f() {
for (;;) ; for (i = 0, j = 1; i < 10; i++, j++) x; for (a; b, c;) d;
} };
