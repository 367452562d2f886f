class A { void f() { switch (1) { } switch (1.5) { case 1: ; } switch (1) { default: ; } } };
