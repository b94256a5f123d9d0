#pragma once

#include <QProcessEnvironment>

// Whether this test process is one that passesInFreshProcess started.
bool inFreshProcess();

// Runs the test function that runs now again, alone, in a fresh process of this test binary whose
// environment is this one's with added; true when it passed there. Its output is shown when it did
// not. For a test that measures what the process has loaded, which stays loaded once it is.
bool passesInFreshProcess(const QProcessEnvironment& added = {});
