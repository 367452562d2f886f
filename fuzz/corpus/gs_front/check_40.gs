class A { void f() { new A(); } }; static class S { }; game class G { }; class T { void t() { new S(); new G(); new Q(); } };
