class A { void f(int x) { case 1: ; default: ; switch (1) { case x: case 2.0: default: default: ; } } };
