class A { void f(object o) { wait () { on 1, "b": ; on "a", "b", 5: ; } wait () { } } };
