// Fennbind: packs a folder into an archive of the long-entry layout (12-byte entries, 32-bit name hash).
#include "Packer.h"

int main(int argc, char** argv) {
  static const qx::pack::PackerProgram program{"Fennbind", qx::archive::kLongLayout, false};
  return qx::pack::RunPacker(program, argc, argv);
}
