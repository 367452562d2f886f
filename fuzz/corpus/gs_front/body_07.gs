class C { void f() {
me; null; 0x10; 10; 'c'; 1.5; "s\t"; true; false;
} };
