// The script compiler's command-line driver as the "compile" command reaches it. The compiler
// is not in this build; once it is, it installs its driver here, and until then "compile"
// reports that it is not available.
#pragma once

// Compiles as its command line says: the switches and the source path follow from argv[2]
// (argv[1] is empty). 0 when the compile succeeded.
using CompilerCommandLineMain = int (*)(int argc, char** argv);

// Installs the driver (null removes it).
void SetCompilerCommandLineMain(CompilerCommandLineMain driver);
CompilerCommandLineMain GetCompilerCommandLineMain();
