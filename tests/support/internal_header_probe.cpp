// Compiled only by the build_internal_headers tests, with what vxins-host sees: it must fail,
// since the header it includes is internal to its subsystem.
#include VXINS_PROBED_HEADER
