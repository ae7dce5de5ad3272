// qxarc: lists, checks, extracts and edits archives of either layout.
#pragma once

namespace qx::manager {

// The whole program; returns the exit status (0, 1, or 2 for a usage error).
int RunManager(int argc, char** argv);

}  // namespace qx::manager
