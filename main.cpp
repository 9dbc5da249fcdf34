#include "app/Program.h"

int main(int argc, char** argv) { return abd::RunProgram(argc, argv); }
