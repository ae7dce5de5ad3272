// Fennloose: unpacks an archive of the long-entry layout into a folder.
#include "ImageExport.h"
#include "Unpacker.h"

int main(int argc, char** argv) {
  static const qx::unpack::UnpackerProgram program{"Fennloose", qx::archive::kLongLayout, qx::unpack::kLongPaletteTemplate};
  return qx::unpack::RunUnpacker(program, argc, argv);
}
