// qxarc: lists, checks, extracts and edits archives of either layout.
#include "Manager.h"

int main(int argc, char** argv) { return qx::manager::RunManager(argc, argv); }
