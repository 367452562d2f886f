class C { void f() {
new int(); new string(1); new int[5]; new Foo(); new Foo(a, b); new Foo[n];
} };
