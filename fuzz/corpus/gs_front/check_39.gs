class A { void f() { new int(); new object(); new int[1.5]; new A(1); new Zz(); new S(); new G(); } }; static class S { }; game class G { };
