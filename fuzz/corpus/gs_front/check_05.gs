class A isclass A { };
