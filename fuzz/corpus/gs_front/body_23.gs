class C { void f() {
(Foo) x;
} };
