// What names one program of the tool: the module's flavour it links and the build tree.
// The only source compiled once per program (quarn-emu, quarn-emu-release); main.cpp is
// compiled once for both.
#include "Tools/quarn-emu/Support/Version.h"

const char *quarn::emu::cli::QuarnEmuModuleFlavour() { return QUARN_MODULE_FLAVOUR; }

const char *quarn::emu::cli::QuarnEmuBuild() { return QUARN_BUILD_KIND; }
