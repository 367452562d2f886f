class A { thread int t() { return 1; } };
