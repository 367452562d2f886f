class B { }; class A isclass B, B { };
