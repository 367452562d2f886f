static class B { }; class A isclass B { };
