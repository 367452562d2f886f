class K { }; class B1 isclass K { }; class B2 isclass K { }; class D isclass B1, B2 { };
