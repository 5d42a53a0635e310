// The version quarn-emu reports: the tag or commit it was built from (generated at
// build time, Version.cmake).
#pragma once

namespace quarn::emu::cli {

/// "v1.2-3-gabcdef0", "abcdef0-dirty", ... or a fallback text outside a git checkout.
const char *QuarnEmuVersion();

}  // namespace quarn::emu::cli
