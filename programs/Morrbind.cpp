// Morrbind: packs a folder into an archive of the short-entry layout (10-byte entries, 16-bit hash ID) and lists colliding IDs.
#include "Packer.h"

int main(int argc, char** argv) {
  static const qx::pack::PackerProgram program{"Morrbind", qx::archive::kShortLayout, true};
  return qx::pack::RunPacker(program, argc, argv);
}
