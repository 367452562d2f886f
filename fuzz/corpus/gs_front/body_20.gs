class C { void f() {
lab: ;
} };
