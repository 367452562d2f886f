class A isclass B { };
