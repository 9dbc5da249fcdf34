#include "console/ConsoleProgram.h"

int main(int argc, char** argv) { return abd::RunConsole(argc, argv); }
