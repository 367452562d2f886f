class A { static void f() { } define void g() { } native thread void h(); };
