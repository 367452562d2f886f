class A { void f() { int a; int a; { int a; } } int m; int m; };
