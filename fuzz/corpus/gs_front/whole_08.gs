class A { int f() { } } ;
