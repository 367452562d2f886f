class A { Foo f(Bar b) { } };
