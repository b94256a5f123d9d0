#pragma once

// Whether this process maps a file whose path holds the given part. A library, once loaded, stays
// for the rest of the run: a test that asks runs in a fresh process (support/FreshProcess.h).
bool isMapped(const char* part);
