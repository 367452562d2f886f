class B { final void f() { } }; class A isclass B { void f() { } };
