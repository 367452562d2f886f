class A { };  int x;
