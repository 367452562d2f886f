class C { void f() {
a * b / c % d; a + b - c; a << b >> c; a < b > c <= d >= e; a == b != c;
} };
