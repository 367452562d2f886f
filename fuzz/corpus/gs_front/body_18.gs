class C { void f() {
goto L; L: x; continue; break; return; return a, b;
} };
