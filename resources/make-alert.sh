#!/bin/sh
# Makes Alert.wav, the tone played for "Beep": two soft rising notes, short
# enough not to startle and unlike the trill. Needs sox.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Intermediate parts stay in float so only the final write rounds to 16 bits.
fmt="-r 22050 -c 1 -e floating-point -b 32"

# note FILE LENGTH DECAY FREQUENCY: a sine with a quiet octave above it,
# plucked (quick attack, long decay) so that it sounds like a chime, not a
# buzzer.
note() {
    sox -R -n $fmt "$work/$1.wav" synth "$2" sine "$4" sine "$(($4 * 2))" \
        remix 1v0.8,2v0.2 fade h 0.004 "$2" "$3"
}

note a 0.16 0.13 1047 # C6
note b 0.26 0.23 1568 # G6
sox -R -n $fmt "$work/gap.wav" trim 0 0.03
sox -R "$work/a.wav" "$work/gap.wav" "$work/b.wav" -r 22050 -c 1 -e signed-integer -b 16 \
    Alert.wav gain -n -6
