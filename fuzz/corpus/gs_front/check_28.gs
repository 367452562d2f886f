class A { int f() { } float g() { if (true) return 1.0; } };
