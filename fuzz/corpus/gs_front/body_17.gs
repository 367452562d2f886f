class C { void f() {
wait () { on "a", "b": x; on "c", "d", m: { y; } }
} };
