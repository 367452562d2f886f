include "Lib.GS" include "b.gs" class A { }; static final class B isclass A, C { };
