// The script compiler's command-line driver as the "compile" command reaches it: the real
// driver unless a test puts another in its place.
#pragma once

// Compiles as its command line says: the switches and the source path follow from argv[2]
// (argv[1] is empty). 0 when the compile succeeded.
using CompilerCommandLineMain = int (*)(int argc, char** argv);

// Puts a driver in place of the compiler's (null gives the compiler back).
void SetCompilerCommandLineMain(CompilerCommandLineMain driver);
CompilerCommandLineMain GetCompilerCommandLineMain();
