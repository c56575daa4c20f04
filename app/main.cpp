// Groovestone DSD. The command line is not read.

#include "app.h"

int main() {
    RunProgram();
}
