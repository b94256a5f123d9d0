#pragma once

// The process-wide pseudo-random generator behind the password cipher's key stream. Stored
// passwords can only be deciphered with the sequence that enciphered them, so its formula is
// fixed for good. One state per process; nothing but the cipher draws from it.
namespace RandomGenerator {

// The next value, 0 <= v < 1; advances the state.
float next();

// For a negative x: restarts the state from x alone and returns the first value of that sequence.
// For zero (either sign): the most recently returned value again, state unchanged.
// For a positive x: the same as next().
float value(float x);

// Sets a new state computed from y and the state before.
void reseed(float y);

} // namespace RandomGenerator
