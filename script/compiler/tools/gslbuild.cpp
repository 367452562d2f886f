// The build's compiler of the shipped script libraries: the "compile" command's driver as a
// program of its own, run once per source so each source becomes its own library. Built, never
// shipped. Exits with 0 only when the library was written.
#include "script/compiler/compiler_driver.h"

int main(int argc, char** argv) {
    return GSCompiler::CommandLineMain(argc, argv) == 0 ? 0 : 1;
}
