// Process entry of the show. The shell's entry runs its whole life.
#include "shell/shell.h"

int main(int argc, char** argv) { return shell::run(argc, argv); }
