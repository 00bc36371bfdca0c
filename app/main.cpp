// The windowed program.
#include "app/windowed_program.h"

int main(int argc, char** argv) { return flashwright::RunWindowedProgram(argc, argv); }
