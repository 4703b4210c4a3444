#pragma once
// The version of the Common Controls library that the program uses.

namespace kv {

// The major version of the Common Controls in use: the larger of what the loaded library reports
// (DllGetVersion) and the version of the side-by-side assembly that the program's manifest bound
// "comctl32.dll" to. Some Windows-compatible systems report 5.81 from the version 6 assembly's
// library; the assembly's own version tells the truth there. 0 when neither can be read.
unsigned long common_controls_major_version();

}  // namespace kv
