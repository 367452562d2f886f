class A { void f(string s, int i) { -s; ~1.5; !f(); i++ ++; 5++; } };
