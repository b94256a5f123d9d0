#pragma once

// Whether this process maps a file whose path holds the given part. A library, once loaded, stays
// for the rest of the run: a test that asks must run before anything else could load it.
bool isMapped(const char* part);
