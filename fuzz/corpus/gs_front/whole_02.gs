class A { public int x, y = 3; define string S = "s"; int[] a; Foo f; Foo[] fs; object o; object[] os; void[] v; };
