class A { define int D; define int E = 1 + x; int x; };
