class A { static int s; final int t; native int u; public define int D = 1; };
