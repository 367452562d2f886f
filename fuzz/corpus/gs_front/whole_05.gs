include "x.gs"; class A { };
