final class B { }; class A isclass B { };
