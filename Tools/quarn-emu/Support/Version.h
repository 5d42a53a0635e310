// What quarn-emu reports of itself: the tag or commit it was built from (generated at
// build time, Version.cmake), the module's flavour and the build tree.
#pragma once

namespace quarn::emu::cli {

/// "v1.2-3-gabcdef0", "abcdef0-dirty", ... or a fallback text outside a git checkout.
const char *QuarnEmuVersion();

/// The flavour of the module this program carries: "DEBUG", or "RELEASE" (no texts, no
/// assertions). Compiled per program (ProgramIdentity.cpp).
const char *QuarnEmuModuleFlavour();

/// The build tree that made this program: "host (RelWithDebInfo)", "sanitizer (Debug,
/// ASan and UBSan)". Compiled per program (ProgramIdentity.cpp).
const char *QuarnEmuBuild();

}  // namespace quarn::emu::cli
