class C { void f() {
!a; -a; +a; ~a; ++a; --a; a++; a--; - - a; ++a++;
} };
