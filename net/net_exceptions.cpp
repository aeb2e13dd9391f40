// The family is header-only; this unit keeps the library non-empty and checks
// that the header stands on its own.
#include "net/net_exceptions.h"
