#!/bin/sh
# Makes Mailtrill.wav, the default new-mail sound: two rising chirps and a
# short falling trill, like a small bird. Needs sox.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Intermediate parts stay in float so only the final write rounds to 16 bits.
fmt="-r 22050 -c 1 -e floating-point -b 32"
n=0

# chirp LENGTH FROM TO VOLUME ATTACK RELEASE: one sine sweep with soft edges.
chirp() {
    n=$((n + 1))
    sox -R -n $fmt "$work/part$(printf %02d $n).wav" \
        synth "$1" sine "$2/$3" fade h "$5" "$1" "$6" vol "$4"
}

# rest LENGTH: silence between notes.
rest() {
    n=$((n + 1))
    sox -R -n $fmt "$work/part$(printf %02d $n).wav" trim 0 "$1"
}

rest 0.01
chirp 0.13 2200 2900 0.50 0.020 0.045
rest 0.04
chirp 0.13 2600 3400 0.50 0.020 0.045
rest 0.04
for volume in 0.46 0.38 0.31 0.26 0.21 0.17; do
    chirp 0.035 3100 2500 "$volume" 0.006 0.016
    rest 0.012
done

# A short room tail softens the pure sines; the final fade needs the length
# spelt out, as a fade measured from the end misreads it after reverb.
sox -R "$work"/part*.wav $fmt "$work/notes.wav" pad 0 0.07
length=$(soxi -D "$work/notes.wav")
sox -R "$work/notes.wav" -r 22050 -c 1 -e signed-integer -b 16 Mailtrill.wav \
    reverb 15 50 40 100 0 0 gain -n -4 fade h 0 "$length" 0.07
