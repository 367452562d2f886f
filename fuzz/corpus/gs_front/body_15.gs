class C { void f() {
while (a) { b; } switch (x) { case 1: case 2: y; break; default: z; }
} };
