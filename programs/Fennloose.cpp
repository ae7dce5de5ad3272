// Fennloose: unpacks an archive of the long-entry layout into a folder.
#include "Unpacker.h"

int main(int argc, char** argv) {
  static const qx::unpack::UnpackerProgram program{"Fennloose", qx::archive::kLongLayout, "H2Palette.bmp"};
  return qx::unpack::RunUnpacker(program, argc, argv);
}
