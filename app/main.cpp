// Groovestone DSD. The arguments are files or a folder to add to the lists.

#include "app.h"

int main(int argc, char **argv) {
    RunProgram(argc, argv);
}
