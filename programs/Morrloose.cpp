// Morrloose: unpacks an archive of the short-entry layout into a folder.
#include "Unpacker.h"

int main(int argc, char** argv) {
  static const qx::unpack::UnpackerSpec spec{"Morrloose", qx::archive::kShortLayout, "H1Palette.bmp"};
  return qx::unpack::RunUnpacker(spec, argc, argv);
}
