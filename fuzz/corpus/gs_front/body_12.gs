class C { void f() {
public int x;
} };
