class A { void f() { int[] a; a = new int[3]; } };
