class A { void f() { break; continue; switch (1) { case 1: continue; default: ; } } };
