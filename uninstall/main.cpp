#include "uninstall/run.h"

int main(int argc, char** argv) { return RunPrereqHandler(argc, argv); }
