class C { void f() {
a or b and c | d ^ e & f == g < h << i + j * k;
} };
