// Program entry of Emlo.
#include "program.h"

int main(int argc, char** argv)
{
    return emlo::RunProgram(argc, argv);
}
