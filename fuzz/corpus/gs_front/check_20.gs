class A { int f() { return "s"; } void g() { return 1; } int h() { return; } };
